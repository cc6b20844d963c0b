#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

class ApiUsers;
class AuthThrottle;
class CommandSet;

// One client's conversation on the line protocol, without the socket: lines in, lines out.
// It holds what belongs to the client (authenticated, subscribed) and answers the
// session's own commands; everything else goes to the core.
class LineSession : public QObject
{
    Q_OBJECT

public:
    LineSession(CommandSet *core, ApiUsers *users, AuthThrottle *throttle, const QHostAddress &peer,
        QObject *parent = nullptr);

    // The answer line, then the event lines of what the command changed, without line
    // ends; nothing for an empty line.
    QStringList handleLine(const QString &line);
    bool authenticated() const { return isAuthenticated; }
    bool subscribed() const { return isSubscribed; }
    // The user signed in, or empty.
    QString user() const { return userName; }
    // Set after "quit", or after too many wrong tokens: the answer is the last line the
    // client gets.
    bool finished() const { return isFinished; }
    // How long the answer of the last line must wait (a wrong token is answered slowly);
    // reading it resets it.
    qint64 takeAnswerDelay();

    // Wrong tokens one connection may send; the last one's answer ends it.
    static constexpr int MAX_FAILURES = 3;

signals:
    // An event line for this client, sent only while subscribed.
    void eventLine(const QString &line);

private:
    void onEvent(const QString &name, const QJsonObject &data);
    QString answerLine(const QString &line);
    QString authenticate(const QString &token);

    CommandSet *core;
    ApiUsers *users;
    AuthThrottle *throttle;
    QHostAddress peer;
    bool isAuthenticated = false;
    QString userName;
    bool isSubscribed = false;
    bool isFinished = false;
    int failures = 0;
    qint64 answerDelay = 0;
    // Set while a command runs: its events wait until its answer has gone out.
    bool answering = false;
    QStringList heldEvents;
};
