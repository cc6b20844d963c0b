#include "base/audit_operation.h"

#include "base/audit_scope.h"
#include "base/audit_trail.h"
#include "base/log_summary.h"

#include <QJsonObject>

const QString AuditOperation::OK = QStringLiteral("ok");

namespace {

int depth = 0;

} // namespace

AuditOperation::AuditOperation(const QString &action, const QString &target, const QJsonValue &before)
    : outermost(depth == 0)
    , actor(AuditScope::actor())
    , address(AuditScope::address())
    , action(action)
    , target(target)
    , before(before)
{
    ++depth;
}

AuditOperation::~AuditOperation()
{
    --depth;
    AuditTrail *trail = AuditTrail::installed();
    if (!outermost || !trail)
        return;
    // Nobody known: a refused sign-in.
    QJsonObject fields {{QStringLiteral("actor"), actor.isEmpty() ? QJsonValue() : QJsonValue(actor)},
        {QStringLiteral("address"), address.isEmpty() ? QJsonValue() : QJsonValue(address)},
        {QStringLiteral("action"), action},
        {QStringLiteral("target"), target.isEmpty() ? QJsonValue() : QJsonValue(target)},
        {QStringLiteral("before"), before}, {QStringLiteral("after"), after}, {QStringLiteral("outcome"), outcome}};
    if (!reason.isEmpty())
        fields.insert(QStringLiteral("reason"), reason);
    trail->append(fields);
}

void AuditOperation::fail(const QString &outcome, const QString &reason)
{
    this->outcome = outcome;
    this->reason = reason;
    after = QJsonValue();
}

void AuditOperation::succeed(const QJsonValue &after)
{
    outcome = OK;
    reason.clear();
    this->after = after;
}

void AuditOperation::refusedOften(
    const QString &action, const QString &actor, const QString &address, const QString &outcome, const QString &reason)
{
    if (!LogSummary::shared().admit(QtWarningMsg, QStringLiteral("Audit trail: %1 %2").arg(action, outcome), address))
        return;
    const AuditScope scope(actor, address);
    AuditOperation(action, QString()).fail(outcome, reason);
}

bool AuditOperation::running()
{
    return depth > 0;
}
