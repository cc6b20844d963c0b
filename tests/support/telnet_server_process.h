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
        // busybox telnetd, straight into the shell.
        Busybox,
        // inetutils telnetd under socat (it expects inetd), with a login program that asks
        // "login:" and "Password:" and wants LoginName and Password before the shell.
        Inetutils,
    };

    static constexpr char LoginName[] = "root";
    static constexpr char Password[] = "secret";

    explicit TelnetServerProcess(Kind kind);
    ~TelnetServerProcess();

    // False, with errorString(), when a program is missing or the server cannot start.
    bool start();
    bool isRunning() const;
    QString errorString() const;
    quint16 port() const;

private:
    QString writeScript(const QString &name, const QString &body);

    Kind kind;
    QTemporaryDir dir;
    QProcess process;
    quint16 serverPort = 0;
    QString error;
};
