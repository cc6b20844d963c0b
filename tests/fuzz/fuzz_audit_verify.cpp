// Arbitrary bytes as an audit trail given to --verify-audit (a file anyone may have edited),
// with and without a backup before it. Besides crashes, leaks, hangs and undefined
// behaviour it checks that the verdict is consistent: an intact file names no break, a
// broken one names a line the file has.
#include "base/audit_trail.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QString trailPath;

void silence(QtMsgType, const QMessageLogContext &, const QString &)
{
}

void write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::abort();
}

} // namespace

extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir folder;
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(silence);
    trailPath = folder.filePath(QStringLiteral("audit.jsonl"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    // The input's first line, when it has a second, stands for the backup's last line.
    const int split = content.indexOf('\n');
    for (const bool backup : {false, true}) {
        const QByteArray trail = backup && split >= 0 ? content.mid(split + 1) : content;
        if (backup && split >= 0)
            write(trailPath + QStringLiteral(".1"), content.left(split + 1));
        else
            QFile::remove(trailPath + QStringLiteral(".1"));
        write(trailPath, trail);
        const AuditTrail::Verdict verdict = AuditTrail::verify(trailPath);
        const int lines = trail.count('\n') + (trail.endsWith('\n') || trail.isEmpty() ? 0 : 1);
        if (verdict.lines != lines || (verdict.intact && verdict.brokenAt != 0)
            || (!verdict.intact && (verdict.brokenAt < 1 || verdict.brokenAt > lines || verdict.what.isEmpty())))
            std::abort();
    }
    return 0;
}
