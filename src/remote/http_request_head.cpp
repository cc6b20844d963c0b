#include "remote/http_request_head.h"

#include "base/hex_digit.h"

namespace {

// RFC 7230 section 3.2.6: the characters of a method or a field name.
bool isTokenChar(char c)
{
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

// A field value: visible characters, spaces and tabs, and bytes past ASCII; no controls.
bool isFieldValue(const QByteArray &text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f)
            return false;
    }
    return true;
}

// An origin-form path, percent-decoded; false for a bad escape or a decoded NUL, which would
// end the path early for anything that reads it as a C string.
bool decodePath(const QByteArray &raw, QByteArray *path)
{
    if (!raw.startsWith('/'))
        return false;
    path->clear();
    path->reserve(raw.size());
    for (int i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f)
            return false;
        if (c != '%') {
            path->append(c);
            continue;
        }
        const int high = i + 2 < raw.size() ? hexDigitValue(raw.at(i + 1)) : -1;
        const int low = high >= 0 ? hexDigitValue(raw.at(i + 2)) : -1;
        if (low < 0 || (high == 0 && low == 0))
            return false;
        path->append(char(high * 16 + low));
        i += 2;
    }
    return true;
}

bool listHas(const QByteArray &list, const char *token)
{
    for (const QByteArray &item : list.split(',')) {
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

HttpRequestHead::Result HttpRequestHead::parse(const QByteArray &bytes, HttpRequestHead *head)
{
    // A client may send an empty line before its request (RFC 7230 section 3.5).
    int start = 0;
    while (bytes.mid(start, 2) == "\r\n")
        start += 2;
    const int end = bytes.indexOf("\r\n\r\n", start);
    if (end < 0 || end + 4 > MAX_BYTES)
        return bytes.size() >= MAX_BYTES ? TooLarge : Incomplete;
    *head = HttpRequestHead();
    head->size = end + 4;
    const QList<QByteArray> lines = bytes.mid(start, end - start).split('\n');
    if (lines.size() - 1 > MAX_FIELDS)
        return TooLarge;
    // Every line but the last ends in CR LF; a bare CR or LF anywhere is refused.
    QList<QByteArray> text;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (i + 1 < lines.size()) {
            if (!line.endsWith('\r'))
                return Malformed;
            line.chop(1);
        }
        if (line.contains('\r'))
            return Malformed;
        text << line;
    }

    const QList<QByteArray> request = text.first().split(' ');
    if (request.size() != 3 || !isToken(request.at(0)))
        return Malformed;
    head->method = request.at(0);
    if (request.at(2) == "HTTP/1.1")
        head->minorVersion = 1;
    else if (request.at(2) == "HTTP/1.0")
        head->minorVersion = 0;
    else
        return Malformed;
    const QByteArray &target = request.at(1);
    const int question = target.indexOf('?');
    if (!decodePath(question < 0 ? target : target.left(question), &head->path))
        return Malformed;
    if (question >= 0 && !isFieldValue(target.mid(question + 1)))
        return Malformed;

    bool lengthSeen = false;
    for (int i = 1; i < text.size(); ++i) {
        const QByteArray &line = text.at(i);
        const int colon = line.indexOf(':');
        // No space before the colon, and no folded continuation lines (section 3.2.4).
        if (colon <= 0 || !isToken(line.left(colon)))
            return Malformed;
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isFieldValue(value))
            return Malformed;
        head->fields.append({line.left(colon), value});
    }
    for (const auto &field : qAsConst(head->fields)) {
        if (field.first.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
            return NoLength;
        if (field.first.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        // One length, in at most 18 digits: a second one, even an equal one, is a request that
        // something on the way may have read otherwise.
        if (lengthSeen || field.second.isEmpty() || field.second.size() > 18)
            return Malformed;
        for (const char c : field.second) {
            if (c < '0' || c > '9')
                return Malformed;
        }
        lengthSeen = true;
        head->contentLength = field.second.toLongLong();
    }
    return Complete;
}

QByteArray HttpRequestHead::field(const QByteArray &name) const
{
    for (const auto &field : fields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return QByteArray();
}

bool HttpRequestHead::hasField(const QByteArray &name) const
{
    for (const auto &field : fields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool HttpRequestHead::keepAlive() const
{
    return minorVersion == 1 && !listHas(field("Connection"), "close");
}

bool HttpRequestHead::isUpgrade() const
{
    return listHas(field("Upgrade"), "websocket");
}
