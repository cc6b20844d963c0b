// Feeds arbitrary server bytes, in arbitrary chunks, to the telnet client's receive path.
// Input: a sequence of chunks, each one length byte followed by that many bytes (the last
// chunk may be short). Besides crashes and leaks it checks that the bytes waiting for the
// rest of a command stay bounded, that no text run carries a NUL, and that the stream never
// stalls: after the input, a tail that ends any unfinished command must bring a marker text
// through as the last message.
#include "qttelnet/qt_telnet.h"
#include "qttelnet/qt_telnet_private.h"
#include "qttelnet/telnet_protocol.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

const QString Marker = QStringLiteral("zentrova-fuzz-end");

void silence(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // Every reply goes to a socket that is not open, and Qt says so each time.
    qInstallMessageHandler(silence);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QtTelnet telnet;
    telnet.login(QStringLiteral("root\r\n"), QStringLiteral("secret\r\n"));
    telnet.setPromptPattern(QRegExp(QStringLiteral("[\\/] [#] ")));
    telnet.setWindowSize(80, 255);
    QString last;
    QObject::connect(&telnet, &QtTelnet::message, [&last](const QString &text) {
        if (text.contains(QChar(0)))
            std::abort();
        last = text;
    });

    // Connected as far as the protocol state goes, so that every reply path runs.
    QtTelnetPrivate *receivePath = telnet.findChild<QtTelnetPrivate *>();
    receivePath->socketConnected();

    size_t at = 0;
    while (at < size) {
        const size_t length = qMin(size_t(data[at]), size - at - 1);
        ++at;
        receivePath->receive(QByteArray(reinterpret_cast<const char *>(data + at), int(length)));
        at += length;
        if (receivePath->buffer.size() > telnet::MaxPendingBytes)
            std::abort();
    }

    // IAC SE twice ends a subnegotiation even after a lone IAC inside it, and completes a
    // pending IAC or option command; the NUL starts a run of its own.
    const char tail[] = {char(telnet::Iac), char(telnet::Se), char(telnet::Iac), char(telnet::Se), 0};
    receivePath->receive(QByteArray(tail, sizeof tail) + Marker.toLatin1());
    if (last != Marker)
        std::abort();
    return 0;
}
