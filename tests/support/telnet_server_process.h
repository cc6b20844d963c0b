#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real telnet server that nobody here wrote, listening on 127.0.0.1 at a free port and
// running a shell like the decoders': it echoes each line, prints the output and ends with the
// prompt "/ # ". The server runs under `timeout`, so that it cannot outlive a test that dies,
// and is stopped when the object goes.
class TelnetServerProcess
{
public:
    enum Kind {
        // busybox telnetd running the decoder shell stand-in behind a "login:" prompt: an
        // interactive busybox ash with line editing, as decoder firmware often runs, which
        // asks for the cursor position after every prompt.
        DecoderShell,
        // inetutils telnetd under socat (it expects inetd), with a login program that asks
        // "login:" and "Password:" and wants "root" and Password before a plain shell.
        Inetutils,
    };

    static constexpr char Password[] = "secret";

    explicit TelnetServerProcess(Kind kind);
    ~TelnetServerProcess();

    // False, with errorString(), when a program is missing or the server cannot start. The
    // server may take a moment more before it accepts a connection.
    bool start();
    QString errorString() const { return error; }
    quint16 port() const { return serverPort; }

private:
    Kind kind;
    QTemporaryDir dir;
    QProcess process;
    quint16 serverPort = 0;
    QString error;
};
