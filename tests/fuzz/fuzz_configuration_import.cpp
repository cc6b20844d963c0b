// Arbitrary bytes as a configuration file to import. Besides crashes, leaks and hangs it
// checks that what the reader accepts it accepts again once written back as settings: an
// accepted file never turns into one the next export or import would refuse.
#include "scenes/configuration_transfer.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

namespace {

void silence(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(silence);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    QJsonObject keys;
    QStringList problems;
    const bool accepted = ConfigurationTransfer::read(content, &keys, &problems);
    if (accepted == !problems.isEmpty())
        std::abort();
    if (!accepted)
        return 0;
    keys.insert(QStringLiteral("format"), ConfigurationTransfer::FORMAT);
    keys.insert(QStringLiteral("version"), ConfigurationTransfer::FORMAT_VERSION);
    QJsonObject again;
    if (!ConfigurationTransfer::read(QJsonDocument(keys).toJson(), &again, &problems))
        std::abort();
    return 0;
}
