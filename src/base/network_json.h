#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

// JSON that arrives from the network. Qt 5.15's parser loses the value that a repeated name
// in an object replaces, so one message of many repeated names would grow the controller by
// about its own size each time it is sent. Such documents are refused before Qt reads them.
namespace networkjson {

// The document, or a null document and the reason in errorText.
QJsonDocument parse(const QByteArray &text, QString *errorText);

// True when an object in the text (read as far as it goes) names a member twice, with
// escapes decoded as the parser would.
bool repeatsAName(const QByteArray &text);

} // namespace networkjson
