#pragma once

#include "qttelnet/qt_telnet.h"

#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class RecordingSocket;

// A real telnet server that nobody here wrote, listening on 127.0.0.1 at a free port and
// running a shell like the decoders': it echoes each line, prints the output and ends with the
// prompt "/ # ". The server runs under `timeout`, so that it cannot outlive a test that dies,
// and is stopped when the object goes.
class TelnetServerProcess
{
public:
    enum Kind {
        // busybox telnetd running the decoder shell stand-in, whose commands keep the
        // decoder's state in files (stateOf()); with or without a "login:" prompt first.
        DecoderShell,
        DecoderShellNoLogin,
        // busybox telnetd running an interactive busybox ash with line editing, as decoder
        // firmware often does: it asks for the cursor position after every prompt.
        DecoderShellLineEditing,
        // inetutils telnetd under socat (it expects inetd), with a login program that asks
        // "login:" and "Password:" and wants LoginName and Password before a plain shell.
        Inetutils,
    };

    static constexpr char LoginName[] = "root";
    static constexpr char Password[] = "secret";

    explicit TelnetServerProcess(Kind kind);
    ~TelnetServerProcess();

    // Decoder state the shell starts with; call before start().
    bool writeState(const QString &key, const QByteArray &value);
    // False, with errorString(), when a program is missing or the server cannot start. A
    // decoder shell is accepting connections when this returns; socat takes only one, so
    // the inetutils server is not probed.
    bool start();
    bool isRunning() const { return process.state() == QProcess::Running; }
    QString errorString() const { return error; }
    quint16 port() const { return serverPort; }
    // A decoder state file's text without its line end, "<missing>" when there is none.
    QString stateOf(const QString &key) const;
    QString statePath(const QString &name) const { return dir.filePath(QStringLiteral("state/") + name); }

private:
    QString writeScript(const QString &name, const QString &body);

    Kind kind;
    QTemporaryDir dir;
    QProcess process;
    quint16 serverPort = 0;
    QString error;
};

// The controller's telnet client as the decoder link sets it up, with the text it has shown
// and the signals it has given, and every byte it wrote.
class ShellClient
{
public:
    explicit ShellClient(const QString &password = QString());

    // The server may take a moment to listen; until then the connection is refused.
    bool connectTo(const QHostAddress &address, quint16 port, int msecs = 10000);
    bool waitForPrompt(int msecs = 15000);
    // Sends the bytes (a whole command line) and returns what came back up to and including
    // the next prompt.
    QString run(const QByteArray &line);
    QByteArray written() const;

    RecordingSocket *socket;
    QtTelnet telnet;
    QString transcript;
    QStringList events;
};

// A loopback port nobody listens on right now, for a peer a test starts; 0 when none.
quint16 freeTcpPort();
quint16 freeUdpPort();
