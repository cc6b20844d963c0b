#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

// Who did what to the installation, as lines that cannot be quietly edited: one JSON object
// per line, {n, time, actor, address, action, target, before, after, outcome, reason?, prev},
// where prev is the SHA-256 (hex) of the bytes of the line before (of the last line of the
// rotated file before, for a file's first line) and n counts every line ever written, so
// that a line removed, changed or moved breaks the chain where it happened. The file is the
// owner's alone, rotated like the log, and holds no secret: keys that name one are dropped
// from whatever is recorded. GUI thread only.
class AuditTrail : public QObject
{
    Q_OBJECT

public:
    static const char *const DEFAULT_PATH;
    // The prev of the very first line.
    static const QByteArray NO_PREVIOUS;

    struct Query
    {
        // Invalid for no bound.
        QDateTime from;
        QDateTime to;
        // Parts of the actor's name and of the target, without regard to case; empty for any.
        QString actor;
        QString target;
        // Part of either.
        QString text;
        int offset = 0;
        int limit = 100;
    };

    struct Verdict
    {
        bool intact = false;
        int lines = 0;
        // The 1-based line where the chain breaks; 0 when intact.
        int brokenAt = 0;
        QString what;
    };

    // Continues the chain of what the file (or, just after a rotation, its backup) ends with.
    explicit AuditTrail(const QString &path = QString::fromLatin1(DEFAULT_PATH), QObject *parent = nullptr);

    QString path() const { return filePath; }
    // Appends one line from the given fields; the chain's fields and the time are added here.
    // False when the line could not be written (the chain then goes on from the last line
    // that was).
    bool append(QJsonObject fields);
    // {lines: newest first, total} of what matches, the backups' lines included.
    QJsonObject query(const Query &query) const;
    // For the window: the lines whose actor or target holds `text`, newest first.
    Q_INVOKABLE QVariantMap page(const QString &text, int offset, int limit) const;

    // Reads the file, and for its first line the last of its backup when there is one.
    static Verdict verify(const QString &path);
    // The value with every object key that names a secret taken out, at any depth.
    static QJsonValue withoutSecrets(const QJsonValue &value);

    // The trail that what happens in the program is written to; none in a program that
    // installs none.
    static void install(AuditTrail *trail);
    static AuditTrail *installed();

signals:
    void appended();

private:
    bool open();
    static QByteArray hashOf(const QByteArray &line);
    static QByteArray lastLineOf(const QString &path);

    QString filePath;
    QFile file;
    QByteArray previousHash;
    qint64 count = 0;
};
