#pragma once

#include <QJsonValue>
#include <QString>

// One line of the audit trail for one thing asked of the controller, written when the
// operation ends, however it ends. Operations started while another is running are part of
// it and write nothing: a wall made through the control API is one line, not one for the
// command and more for the manager's work behind it. GUI thread only.
class AuditOperation
{
public:
    static const QString OK;

    // The actor and address are those of the scope at the start.
    AuditOperation(const QString &action, const QString &target, const QJsonValue &before = QJsonValue());
    ~AuditOperation();
    AuditOperation(const AuditOperation &) = delete;
    AuditOperation &operator=(const AuditOperation &) = delete;

    void setTarget(const QString &target) { this->target = target; }
    void setBefore(const QJsonValue &value) { before = value; }
    void setAfter(const QJsonValue &value) { after = value; }
    // The operation did not happen: outcome names why in a word, reason in a sentence.
    void fail(const QString &outcome, const QString &reason = QString());
    // Done after all, for an operation that set a failure first for its many ways out.
    void succeed(const QJsonValue &after);
    // Whether the operation writes a line, being the outermost one.
    bool recording() const { return outermost; }

    // Whether an operation is under way now.
    static bool running();
    // A refusal anyone can cause as fast as they like (a wrong credential, too many commands):
    // a line at most once a minute per kind and address, so that a flood cannot push the
    // trail's history out of its rotation; the log counts the rest. An empty actor is nobody known.
    static void refusedOften(const QString &action, const QString &actor, const QString &address,
        const QString &outcome, const QString &reason = QString());

private:
    bool outermost;
    QString actor;
    QString address;
    QString action;
    QString target;
    QJsonValue before;
    QJsonValue after;
    QString outcome = OK;
    QString reason;
};
