#pragma once

#include "control/command_set.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The text form of the control API: one command per line, words separated by blanks,
// double quotes around words that hold blanks (\" and \\ inside them). Answers are one
// line each: "ok" with the result as compact JSON, or "error <name> <text>".
namespace lineprotocol {

struct Command
{
    // Empty for an empty line.
    QString method;
    QJsonObject params;
    // Set when the line could not be read; params then mean nothing.
    int errorCode = 0;
    QString errorText;
};

// The words of a line; false for an unterminated quote or a control character.
bool splitWords(const QString &line, QStringList *words, QString *errorText);
// A word as splitWords reads it back: quoted only where needed.
QString quoteWord(const QString &word);

// The words turned into a method of the core, or one of the session's own
// ("help", "auth", "subscribe", "unsubscribe", "quit").
Command parse(const QString &line);

QString formatAnswer(const RemoteAnswer &answer);
QString formatEvent(const QString &name, const QJsonObject &data);
// One line per command with its arguments, for "help".
QString helpText();

} // namespace lineprotocol
