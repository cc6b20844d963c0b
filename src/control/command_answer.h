#pragma once

#include <QJsonValue>
#include <QString>

// Numbered like JSON-RPC application errors; the line protocol prints the name.
enum RemoteError {
    UnknownCommand = 1,
    BadArguments = 2,
    NotFound = 3,
    Refused = 4,
    NotAuthenticated = 5,
    RateLimited = 6,
    TooLarge = 7,
    Busy = 8,
    Internal = 9,
    // The actor's role or screens do not cover the command; nothing of it was done.
    Forbidden = 10
};

// "unknown_command", "bad_arguments", ...; "internal" for a code outside the list.
QString remoteErrorName(int code);

// One answer to one command, shared by every transport.
struct RemoteAnswer
{
    bool ok = true;
    int code = 0;
    QString message;
    QJsonValue result;

    static RemoteAnswer success(const QJsonValue &result = QJsonValue());
    static RemoteAnswer failure(int code, const QString &message);
};
