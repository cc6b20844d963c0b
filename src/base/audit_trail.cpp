#include "base/audit_trail.h"

#include "base/logging.h"
#include "base/paths.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

const char *const AuditTrail::DEFAULT_PATH = "~/.zentrova/audit.jsonl";
const QByteArray AuditTrail::NO_PREVIOUS(64, '0');

namespace {

AuditTrail *current = nullptr;

// More than a line usually takes; a longer last line costs further reads.
constexpr qint64 TAIL_BYTES = 65536;

QString backupOf(const QString &path)
{
    return path + QStringLiteral(".1");
}

QList<QByteArray> linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    // A file ends with a line break, which leaves one empty piece.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QJsonObject recordOf(const QByteArray &line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    return document.isObject() ? document.object() : QJsonObject();
}

// A line's running number; -1 for a value no trail writes (a planted 1e300 or -3 would
// otherwise be cast to an integer it does not fit, which is undefined).
qint64 numberOf(const QJsonObject &record)
{
    constexpr double LARGEST_EXACT = 9007199254740992.0; // 2^53
    const double n = record.value(QStringLiteral("n")).toDouble(-1);
    return n >= 0 && n <= LARGEST_EXACT && n == std::floor(n) ? qint64(n) : -1;
}

bool contains(const QJsonValue &value, const QString &part)
{
    return part.isEmpty() || value.toString().contains(part, Qt::CaseInsensitive);
}

} // namespace

AuditTrail::AuditTrail(const QString &path, QObject *parent)
    : QObject(parent)
    , filePath(expandPathAndInitFile(path, true, QByteArray()))
{
    QByteArray last = lastLineOf(filePath);
    // Just rotated: the chain goes on from the backup's last line.
    if (last.isEmpty())
        last = lastLineOf(backupOf(filePath));
    previousHash = last.isEmpty() ? NO_PREVIOUS : hashOf(last);
    // A last line that holds no number (changed by hand) starts the count again.
    count = std::max<qint64>(0, numberOf(recordOf(last)));
}

bool AuditTrail::open()
{
    if (file.isOpen())
        return true;
    logging::rotateIfNeeded(filePath);
    // Created, and its folder, for the owner alone: the trail says who was where when.
    expandPathAndInitFile(filePath, false, QByteArray());
    file.setFileName(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        qWarning().noquote() << "Audit trail: cannot write" << filePath << ":" << file.errorString();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool AuditTrail::append(QJsonObject fields)
{
    // Rotated as the log is; the chain in memory carries over into the fresh file. A file
    // removed under the program would take every later line with it: a new one is started,
    // whose first line no longer follows the backup's last, which shows the removal.
    if (file.isOpen() && (file.size() > logging::LOG_ROTATE_BYTES || !QFileInfo::exists(filePath)))
        file.close();
    if (!open())
        return false;
    fields = withoutSecrets(fields).toObject();
    fields.insert(QStringLiteral("n"), double(count + 1));
    fields.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    fields.insert(QStringLiteral("prev"), QString::fromLatin1(previousHash));
    const QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    // One write for the whole line: a crash leaves whole lines only. Not synced to the disk
    // line by line; what reaches the system survives the program.
    if (file.write(line + '\n') != line.size() + 1) {
        qWarning().noquote() << "Audit trail: cannot write" << filePath << ":" << file.errorString();
        file.close();
        return false;
    }
    previousHash = hashOf(line);
    ++count;
    emit appended();
    return true;
}

QJsonObject AuditTrail::query(const Query &query) const
{
    QJsonArray page;
    int total = 0;
    QStringList paths {filePath};
    for (int n = 1; n <= logging::LOG_BACKUPS; ++n)
        paths << QStringLiteral("%1.%2").arg(filePath).arg(n);
    // Unfiltered, only the lines shown are read as JSON: a full trail is some 50000 lines,
    // and the window asks again whenever a line is added.
    const bool everything = query.actor.isEmpty() && query.target.isEmpty() && query.text.isEmpty()
        && !query.from.isValid() && !query.to.isValid();
    for (const QString &path : qAsConst(paths)) {
        const QList<QByteArray> lines = linesOf(path);
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            if (everything) {
                if (total >= query.offset && page.size() < query.limit)
                    page << recordOf(*it);
                ++total;
                continue;
            }
            const QJsonObject record = recordOf(*it);
            const QJsonValue actor = record.value(QStringLiteral("actor"));
            const QJsonValue target = record.value(QStringLiteral("target"));
            if (record.isEmpty() || !contains(actor, query.actor) || !contains(target, query.target)
                || !(contains(actor, query.text) || contains(target, query.text)))
                continue;
            const QDateTime time
                = QDateTime::fromString(record.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
            if ((query.from.isValid() && time < query.from) || (query.to.isValid() && time > query.to))
                continue;
            if (total >= query.offset && page.size() < query.limit)
                page << record;
            ++total;
        }
    }
    return {{QStringLiteral("lines"), page}, {QStringLiteral("total"), total}};
}

QVariantMap AuditTrail::page(const QString &text, int offset, int limit) const
{
    Query either;
    either.text = text.trimmed();
    either.offset = offset;
    either.limit = limit;
    return query(either).toVariantMap();
}

AuditTrail::Verdict AuditTrail::verify(const QString &path)
{
    Verdict verdict;
    const QList<QByteArray> lines = linesOf(path);
    verdict.lines = lines.size();
    const auto broken = [&verdict](int line, const QString &what) {
        verdict.brokenAt = line;
        verdict.what = what;
        return verdict;
    };
    if (!QFileInfo::exists(path))
        return broken(0, QStringLiteral("%1 cannot be read").arg(path));
    QByteArray before = lastLineOf(backupOf(path));
    qint64 number = before.isEmpty() ? 0 : numberOf(recordOf(before));
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject record = recordOf(lines.at(i));
        const int at = i + 1;
        if (record.isEmpty())
            return broken(at, QStringLiteral("line %1 is not a record: it was changed").arg(at));
        const qint64 n = numberOf(record);
        if (n < 0)
            return broken(at, QStringLiteral("line %1 holds no running number: it was changed").arg(at));
        const QByteArray prev = record.value(QStringLiteral("prev")).toString().toLatin1();
        // A file whose backup is not at hand starts where it starts; the very first line of
        // a trail starts from nothing.
        const bool checkable = i > 0 || !before.isEmpty() || n == 1;
        const QByteArray expected = before.isEmpty() ? NO_PREVIOUS : hashOf(before);
        if (checkable && (prev != expected || n != number + 1)) {
            const bool moved = n <= number
                || std::any_of(lines.begin() + i + 1, lines.end(),
                    [number](const QByteArray &later) { return numberOf(recordOf(later)) == number + 1; });
            if (moved)
                return broken(at, QStringLiteral("line %1 is out of order: lines were moved").arg(at));
            if (n > number + 1 && prev != expected)
                return broken(at, QStringLiteral("%1 line(s) before line %2 were removed").arg(n - number - 1).arg(at));
            return broken(at,
                at == 1 ? QStringLiteral("line 1 was changed")
                        : QStringLiteral("line %1 or line %2 was changed").arg(at - 1).arg(at));
        }
        before = lines.at(i);
        number = n;
    }
    verdict.intact = true;
    return verdict;
}

QJsonValue AuditTrail::withoutSecrets(const QJsonValue &value)
{
    static const QRegularExpression SECRET(
        QStringLiteral("pass|secret|token|salt|key|proof|credential|hash|signature|nonce"),
        QRegularExpression::CaseInsensitiveOption);
    if (value.isArray()) {
        QJsonArray kept;
        for (const QJsonValue &entry : value.toArray())
            kept << withoutSecrets(entry);
        return kept;
    }
    if (!value.isObject())
        return value;
    QJsonObject kept;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!SECRET.match(it.key()).hasMatch())
            kept.insert(it.key(), withoutSecrets(it.value()));
    }
    return kept;
}

void AuditTrail::install(AuditTrail *trail)
{
    current = trail;
}

AuditTrail *AuditTrail::installed()
{
    return current;
}

QByteArray AuditTrail::hashOf(const QByteArray &line)
{
    return QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex();
}

QByteArray AuditTrail::lastLineOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // Read back from the end until the line before the last one ends, however long it is.
    const qint64 size = file.size();
    qint64 start = size;
    QByteArray tail;
    do {
        start = std::max<qint64>(0, start - TAIL_BYTES);
        file.seek(start);
        tail = file.read(size - start);
        if (tail.endsWith('\n'))
            tail.chop(1);
    } while (start > 0 && !tail.contains('\n'));
    return tail.mid(tail.lastIndexOf('\n') + 1);
}
