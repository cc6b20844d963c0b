#include "base/audit_scope.h"

const QString AuditScope::WINDOW = QStringLiteral("window");
const QString AuditScope::DEVICE = QStringLiteral("device");

namespace {

QString currentActor = AuditScope::WINDOW;
QString currentAddress;

} // namespace

AuditScope::AuditScope(const QString &actor, const QString &address)
    : outerActor(currentActor)
    , outerAddress(currentAddress)
{
    currentActor = actor;
    currentAddress = address;
}

AuditScope::~AuditScope()
{
    currentActor = outerActor;
    currentAddress = outerAddress;
}

QString AuditScope::actor()
{
    return currentActor;
}

QString AuditScope::address()
{
    return currentAddress;
}
