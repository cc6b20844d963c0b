#pragma once

#include <QString>

// Who is acting for as long as the scope lives: the audit trail's lines name them. Scopes
// nest; the innermost one counts. Without one it is the person at the window, who reaches
// the installation's state without going through anything that would set one. GUI thread only.
class AuditScope
{
public:
    static const QString WINDOW;
    static const QString DEVICE;

    explicit AuditScope(const QString &actor, const QString &address = QString());
    ~AuditScope();
    AuditScope(const AuditScope &) = delete;
    AuditScope &operator=(const AuditScope &) = delete;

    static QString actor();
    static QString address();

private:
    QString outerActor;
    QString outerAddress;
};
