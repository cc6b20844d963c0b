#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTcpSocket>

// A plain TCP conversation with a decoder's shell, as the tests need it: telnet option
// bytes are skipped (no option is agreed to), everything else is kept as text.
class ShellSession
{
public:
    // Retries until the server listens or the time is up.
    bool connectTo(const QHostAddress &address, quint16 port, int timeoutMs = 10000);
    // Waits until the text received so far ends with `suffix`.
    bool waitForSuffix(const QString &suffix, int timeoutMs = 10000);
    // Answers a login prompt with "root" when one comes, then waits for the first prompt.
    bool logIn(int timeoutMs = 10000);
    // Sends `bytes` (a whole command line) and returns everything up to and including the
    // next prompt; empty when no prompt came in time.
    QString run(const QByteArray &bytes, int timeoutMs = 10000);

    QString text() const;
    // Ends the conversation; the shell on the other side ends with it.
    void close();

private:
    QTcpSocket socket;
    QByteArray received;
};
