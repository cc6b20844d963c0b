#include "base/network_json.h"

#include "base/hex_digit.h"

#include <QSet>

#include <vector>

namespace networkjson {

namespace {

struct Level
{
    bool object = false;
    bool nameNext = false;
    QSet<QString> names;
};

// Reads the string that opens at text[at] into *out; returns the index of its closing quote
// (or the text's size when it is not closed).
int readString(const QByteArray &text, int at, QString *out)
{
    QByteArray run;
    int i = at + 1;
    for (; i < text.size() && text.at(i) != '"'; ++i) {
        if (text.at(i) != '\\' || i + 1 >= text.size()) {
            run += text.at(i);
            continue;
        }
        *out += QString::fromUtf8(run);
        run.clear();
        const char escape = text.at(++i);
        if (escape == 'u' && i + 4 < text.size()) {
            int unit = 0;
            for (int k = 1; k <= 4; ++k)
                unit = unit * 16 + qMax(0, hexDigitValue(text.at(i + k)));
            *out += QChar(ushort(unit));
            i += 4;
            continue;
        }
        switch (escape) {
        case 'n':
            *out += QLatin1Char('\n');
            break;
        case 't':
            *out += QLatin1Char('\t');
            break;
        case 'r':
            *out += QLatin1Char('\r');
            break;
        case 'b':
            *out += QLatin1Char('\b');
            break;
        case 'f':
            *out += QLatin1Char('\f');
            break;
        default:
            *out += QLatin1Char(escape);
            break;
        }
    }
    *out += QString::fromUtf8(run);
    return i;
}

} // namespace

bool repeatsAName(const QByteArray &text)
{
    std::vector<Level> levels;
    for (int i = 0; i < text.size(); ++i) {
        switch (text.at(i)) {
        case '{':
            levels.push_back({true, true, {}});
            break;
        case '[':
            levels.push_back({});
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty() && levels.back().object)
                levels.back().nameNext = true;
            break;
        case '"': {
            QString value;
            i = readString(text, i, &value);
            if (levels.empty() || !levels.back().nameNext)
                break;
            Level &level = levels.back();
            level.nameNext = false;
            if (level.names.contains(value))
                return true;
            level.names.insert(value);
            break;
        }
        default:
            break;
        }
    }
    return false;
}

QJsonDocument parse(const QByteArray &text, QString *errorText)
{
    if (repeatsAName(text)) {
        *errorText = QStringLiteral("an object names a member twice");
        return {};
    }
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        *errorText = error.errorString();
        return {};
    }
    errorText->clear();
    return document;
}

} // namespace networkjson
