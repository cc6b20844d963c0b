#include "remote/line_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace lineprotocol {

namespace {

const QChar QUOTE = QLatin1Char('"');
const QChar ESCAPE = QLatin1Char('\\');

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Control characters would let a name rewrite a log line or a terminal.
bool isControl(QChar c)
{
    return (c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f;
}

struct Syntax
{
    const char *words;
    const char *usage;
    int minArguments;
    int maxArguments; // -1: no limit
    Command (*build)(const QStringList &arguments);
};

Command make(const QString &method, const QJsonObject &params = {})
{
    Command command;
    command.method = method;
    command.params = params;
    return command;
}

Command failed(int code, const QString &text)
{
    Command command;
    command.errorCode = code;
    command.errorText = text;
    return command;
}

// "on"/"off", "show"/"hide": the words a control processor sends for a switch.
Command switchCommand(const QString &method, const QString &key, const QString &word, const char *yes, const char *no)
{
    if (word.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
        return make(method, {{key, true}});
    if (word.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
        return make(method, {{key, false}});
    return failed(BadArguments, QStringLiteral("%1 takes %2 or %3").arg(method, QLatin1String(yes), QLatin1String(no)));
}

Command wholeNumbers(const QStringList &a, int *columns, int *rows)
{
    bool columnsOk = false;
    bool rowsOk = false;
    *columns = a.at(1).toInt(&columnsOk);
    *rows = a.at(2).toInt(&rowsOk);
    if (!columnsOk || !rowsOk)
        return failed(BadArguments, QStringLiteral("columns and rows are whole numbers"));
    return {};
}

const Syntax COMMANDS[] = {
    {"state", "state", 0, 0, [](const QStringList &) { return make(QStringLiteral("state")); }},
    {"list", "list decoders|encoders|walls", 1, 1,
        [](const QStringList &a) { return make(QStringLiteral("list"), {{QStringLiteral("kind"), a.at(0).toLower()}}); }},
    {"route", "route SOURCE TARGET|all", 2, 2,
        [](const QStringList &a) {
            return make(QStringLiteral("route"), {{QStringLiteral("source"), a.at(0)}, {QStringLiteral("target"), a.at(1)}});
        }},
    {"clear", "clear TARGET|all", 1, 1,
        [](const QStringList &a) { return make(QStringLiteral("clear"), {{QStringLiteral("target"), a.at(0)}}); }},
    {"power", "power on|off [NAME...]", 1, -1,
        [](const QStringList &a) {
            Command command = switchCommand(QStringLiteral("power"), QStringLiteral("on"), a.at(0), "on", "off");
            if (command.errorCode == 0 && a.size() > 1)
                command.params.insert(QStringLiteral("targets"), QJsonArray::fromStringList(a.mid(1)));
            return command;
        }},
    {"numbers", "numbers show|hide", 1, 1,
        [](const QStringList &a) {
            return switchCommand(QStringLiteral("numbers"), QStringLiteral("show"), a.at(0), "show", "hide");
        }},
    {"wall create", "wall create NAME COLUMNS ROWS DECODER...", 3, -1,
        [](const QStringList &a) {
            int columns = 0;
            int rows = 0;
            const Command bad = wholeNumbers(a, &columns, &rows);
            if (bad.errorCode != 0)
                return bad;
            return make(QStringLiteral("wall.create"),
                {{QStringLiteral("name"), a.at(0)}, {QStringLiteral("columns"), columns}, {QStringLiteral("rows"), rows},
                    {QStringLiteral("members"), QJsonArray::fromStringList(a.mid(3))}});
        }},
    {"wall delete", "wall delete NAME", 1, 1,
        [](const QStringList &a) { return make(QStringLiteral("wall.delete"), {{QStringLiteral("name"), a.at(0)}}); }},
    {"scene list", "scene list", 0, 0, [](const QStringList &) { return make(QStringLiteral("scene.list")); }},
    {"scene save", "scene save NAME [SCREEN...]", 1, -1,
        [](const QStringList &a) {
            Command command = make(QStringLiteral("scene.save"), {{QStringLiteral("name"), a.at(0)}});
            if (a.size() > 1)
                command.params.insert(QStringLiteral("targets"), QJsonArray::fromStringList(a.mid(1)));
            return command;
        }},
    {"scene recall", "scene recall NAME", 1, 1,
        [](const QStringList &a) { return make(QStringLiteral("scene.recall"), {{QStringLiteral("name"), a.at(0)}}); }},
    {"scene retry", "scene retry", 0, 0, [](const QStringList &) { return make(QStringLiteral("scene.retry")); }},
    {"scene report", "scene report", 0, 0, [](const QStringList &) { return make(QStringLiteral("scene.report")); }},
    {"scene rename", "scene rename NAME NEWNAME", 2, 2,
        [](const QStringList &a) {
            return make(
                QStringLiteral("scene.rename"), {{QStringLiteral("name"), a.at(0)}, {QStringLiteral("new_name"), a.at(1)}});
        }},
    {"scene delete", "scene delete NAME", 1, 1,
        [](const QStringList &a) { return make(QStringLiteral("scene.delete"), {{QStringLiteral("name"), a.at(0)}}); }},
    {"schedule list", "schedule list", 0, 0, [](const QStringList &) { return make(QStringLiteral("schedule.list")); }},
    {"schedule", "schedule on|off NAME", 2, 2,
        [](const QStringList &a) {
            Command command = switchCommand(QStringLiteral("schedule.enable"), QStringLiteral("enabled"), a.at(0), "on", "off");
            command.params.insert(QStringLiteral("name"), a.at(1));
            return command;
        }},
    {"health", "health [DEVICE]", 0, 1,
        [](const QStringList &a) {
            Command command = make(QStringLiteral("health"));
            if (!a.isEmpty())
                command.params.insert(QStringLiteral("device"), a.at(0));
            return command;
        }},
    {"rename", "rename NAME NEWNAME", 2, 2,
        [](const QStringList &a) {
            return make(QStringLiteral("rename"), {{QStringLiteral("name"), a.at(0)}, {QStringLiteral("alias"), a.at(1)}});
        }},
    {"whoami", "whoami", 0, 0, [](const QStringList &) { return make(QStringLiteral("whoami")); }},
    {"users list", "users list", 0, 0, [](const QStringList &) { return make(QStringLiteral("users.list")); }},
    {"audit", "audit [LIMIT]", 0, 1,
        [](const QStringList &a) {
            // The newest lines; the JSON transports filter and page.
            return make(QStringLiteral("audit"),
                a.isEmpty() ? QJsonObject() : QJsonObject {{QStringLiteral("limit"), a.at(0).toInt()}});
        }},
    {"auth", "auth TOKEN", 1, 1,
        [](const QStringList &a) { return make(QStringLiteral("auth"), {{QStringLiteral("token"), a.at(0)}}); }},
    {"subscribe", "subscribe", 0, 0, [](const QStringList &) { return make(QStringLiteral("subscribe")); }},
    {"unsubscribe", "unsubscribe", 0, 0, [](const QStringList &) { return make(QStringLiteral("unsubscribe")); }},
    {"help", "help", 0, 0, [](const QStringList &) { return make(QStringLiteral("help")); }},
    {"quit", "quit", 0, 0, [](const QStringList &) { return make(QStringLiteral("quit")); }},
};

// One line, whatever a name or a message holds.
QString flattened(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (isControl(c) || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    return out;
}

} // namespace

bool splitWords(const QString &line, QStringList *words, QString *errorText)
{
    words->clear();
    QString word;
    bool inWord = false;
    bool quoted = false;
    if (std::any_of(line.begin(), line.end(), isControl)) {
        *errorText = QStringLiteral("control characters are not allowed");
        return false;
    }
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == ESCAPE && i + 1 < line.size()) {
                word += line.at(++i);
                continue;
            }
            if (c == QUOTE)
                quoted = false;
            else
                word += c;
            continue;
        }
        if (isBlank(c)) {
            if (inWord)
                *words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QUOTE)
            quoted = true;
        else
            word += c;
    }
    if (quoted) {
        *errorText = QStringLiteral("a quote is not closed");
        return false;
    }
    if (inWord)
        *words << word;
    return true;
}

QString quoteWord(const QString &word)
{
    const bool plain = !word.isEmpty()
        && std::none_of(word.begin(), word.end(), [](QChar c) { return isBlank(c) || c == QUOTE || c == ESCAPE; });
    if (plain)
        return word;
    QString out = QUOTE;
    for (const QChar c : word) {
        if (c == QUOTE || c == ESCAPE)
            out += ESCAPE;
        out += c;
    }
    return out + QUOTE;
}

Command parse(const QString &line)
{
    QStringList words;
    QString errorText;
    if (!splitWords(line, &words, &errorText))
        return failed(BadArguments, errorText);
    if (words.isEmpty())
        return {};
    for (const Syntax &syntax : COMMANDS) {
        const QStringList keywords = QString::fromLatin1(syntax.words).split(QLatin1Char(' '));
        if (words.size() < keywords.size())
            continue;
        bool same = true;
        for (int i = 0; i < keywords.size(); ++i)
            same = same && words.at(i).compare(keywords.at(i), Qt::CaseInsensitive) == 0;
        if (!same)
            continue;
        const QStringList arguments = words.mid(keywords.size());
        if (arguments.size() < syntax.minArguments || (syntax.maxArguments >= 0 && arguments.size() > syntax.maxArguments))
            return failed(BadArguments, QStringLiteral("usage: %1").arg(QLatin1String(syntax.usage)));
        return syntax.build(arguments);
    }
    return failed(UnknownCommand, QStringLiteral("there is no command \"%1\"; help lists them").arg(flattened(words.at(0))));
}

QString formatAnswer(const RemoteAnswer &answer)
{
    if (!answer.ok)
        return QStringLiteral("error %1 %2").arg(remoteErrorName(answer.code), flattened(answer.message));
    if (answer.result.isNull() || answer.result.isUndefined())
        return QStringLiteral("ok");
    const QJsonDocument document = answer.result.isArray() ? QJsonDocument(answer.result.toArray())
                                                           : QJsonDocument(answer.result.toObject());
    if (!answer.result.isArray() && !answer.result.isObject())
        return QStringLiteral("ok ") + flattened(answer.result.toVariant().toString());
    return QStringLiteral("ok ") + QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

QString formatEvent(const QString &name, const QJsonObject &data)
{
    return QStringLiteral("event %1 %2").arg(name, QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact)));
}

QString helpText()
{
    QStringList usages;
    for (const Syntax &syntax : COMMANDS)
        usages << QLatin1String(syntax.usage);
    return usages.join(QStringLiteral("; "));
}

} // namespace lineprotocol
