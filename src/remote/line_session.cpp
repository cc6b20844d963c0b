#include "remote/line_session.h"

#include "base/log_summary.h"
#include "control/command_set.h"
#include "remote/api_users.h"
#include "remote/auth_throttle.h"
#include "remote/line_protocol.h"

#include <QDebug>

LineSession::LineSession(
    CommandSet *core, ApiUsers *users, AuthThrottle *throttle, const QHostAddress &peer, QObject *parent)
    : QObject(parent)
    , core(core)
    , users(users)
    , throttle(throttle)
    , peer(peer)
{
    connect(core, &CommandSet::event, this, &LineSession::onEvent);
}

QStringList LineSession::handleLine(const QString &line)
{
    answering = true;
    const QString answer = answerLine(line);
    answering = false;
    QStringList lines = heldEvents;
    heldEvents.clear();
    if (!answer.isEmpty())
        lines.prepend(answer);
    return lines;
}

QString LineSession::answerLine(const QString &line)
{
    const lineprotocol::Command command = lineprotocol::parse(line);
    if (command.errorCode != 0)
        return lineprotocol::formatAnswer(RemoteAnswer::failure(command.errorCode, command.errorText));
    // An empty line gets no answer, as a terminal user expects of an empty command.
    if (command.method.isEmpty())
        return QString();
    if (command.method == QLatin1String("help"))
        return lineprotocol::formatAnswer(RemoteAnswer::success(lineprotocol::helpText()));
    if (command.method == QLatin1String("quit")) {
        isFinished = true;
        return lineprotocol::formatAnswer(RemoteAnswer::success());
    }
    if (command.method == QLatin1String("auth"))
        return authenticate(command.params.value(QStringLiteral("token")).toString());
    if (!isAuthenticated)
        return lineprotocol::formatAnswer(
            RemoteAnswer::failure(NotAuthenticated, QStringLiteral("send auth TOKEN first")));
    if (command.method == QLatin1String("subscribe") || command.method == QLatin1String("unsubscribe")) {
        isSubscribed = command.method == QLatin1String("subscribe");
        return lineprotocol::formatAnswer(RemoteAnswer::success());
    }
    // Looked up for each command, so that a change of role holds from the next one.
    Actor actor;
    if (!users->actor(userName, &actor)) {
        isFinished = true;
        return lineprotocol::formatAnswer(
            RemoteAnswer::failure(NotAuthenticated, QStringLiteral("this user was revoked")));
    }
    actor.address = peer.toString();
    return lineprotocol::formatAnswer(core->execute(actor, command.method, command.params));
}

QString LineSession::authenticate(const QString &presented)
{
    if (isAuthenticated)
        return lineprotocol::formatAnswer(RemoteAnswer::success());
    // The right token is taken whatever came before it, from this connection or its address.
    const QString name = users->signIn(presented, peer);
    if (name.isEmpty()) {
        answerDelay = throttle->failed(peer);
        // The token tried is never written down; it may be one letter off the real one.
        if (LogSummary::shared().admit(QtWarningMsg, QStringLiteral("Control API: wrong token"), peer.toString()))
            qWarning().noquote() << "Control API: wrong token from" << peer.toString();
        if (++failures >= MAX_FAILURES) {
            isFinished = true;
            return lineprotocol::formatAnswer(
                RemoteAnswer::failure(NotAuthenticated, QStringLiteral("wrong token; too many tries, connect again")));
        }
        return lineprotocol::formatAnswer(RemoteAnswer::failure(NotAuthenticated, QStringLiteral("wrong token")));
    }
    isAuthenticated = true;
    userName = name;
    qInfo().noquote() << "Control API: client" << peer.toString() << "authenticated as" << name;
    return lineprotocol::formatAnswer(RemoteAnswer::success());
}

qint64 LineSession::takeAnswerDelay()
{
    const qint64 delay = answerDelay;
    answerDelay = 0;
    return delay;
}

void LineSession::onEvent(const QString &name, const QJsonObject &data)
{
    if (!isSubscribed)
        return;
    const QString line = lineprotocol::formatEvent(name, data);
    if (answering)
        heldEvents << line;
    else
        emit eventLine(line);
}
