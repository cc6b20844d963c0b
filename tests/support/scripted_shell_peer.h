#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A telnet peer on 127.0.0.1 for tests, one client at a time (a newer link replaces an older
// one). As a decoder shell it echoes each command line, prints the answer scripted for it and
// ends with the "/ # " prompt, optionally asking for a login first, answering in small pieces
// or staying silent for chosen commands. As a raw peer it says nothing by itself, writes what
// the test gives it and records every byte the client sends.
class ScriptedShellPeer : public QObject
{
    Q_OBJECT

public:
    enum Mode { Shell, Raw };
    explicit ScriptedShellPeer(Mode mode = Shell);

    quint16 port() const { return server.serverPort(); }

    // Ask for a login name before the first prompt.
    void setAskForLogin(bool ask) { askForLogin = ask; }
    // Hold the first prompt back until releasePrompt().
    void setHoldPrompt(bool hold) { holdPrompt = hold; }
    void releasePrompt();
    // Everything the peer sends is cut into pieces of this many bytes, sent apart.
    void setPieceSize(int bytes) { pieceSize = bytes; }
    // The output printed for a command line (without its line end).
    void setAnswer(const QByteArray &commandLine, const QByteArray &output) { answers.insert(commandLine, output); }
    // Command lines that start with the prefix get no answer at all, not even a prompt.
    void setSilentFor(const QByteArray &prefix) { silentPrefix = prefix; }
    void dropConnection();

    QList<QByteArray> commands() const { return received; }
    QList<QByteArray> logins() const { return loginNames; }
    int connectionCount() const { return connections; }
    // Links that the controller closed, as opposed to dropConnection().
    int closedByClient() const { return clientCloses; }
    QTcpSocket *client() const { return current; }

    // Waits for a connection newer than the last one waited for.
    bool waitForClient(int msecs = 5000);
    bool waitForBytes(int count, int msecs = 5000);
    bool waitForDisconnected(int msecs = 5000);
    // Writes the bytes and hands them to the kernel before returning.
    void send(const QByteArray &data);
    // Every byte the current client sent, telnet commands included.
    QByteArray rawBytes() const { return raw; }
    QByteArray takeRawBytes();

signals:
    void commandReceived(const QByteArray &line);

private:
    void onNewConnection();
    void onReadyRead();
    void sendInPieces(const QByteArray &data);
    void sendNextPiece();
    void handleLine(const QByteArray &line);

    Mode mode;
    QTcpServer server;
    QTcpSocket *current = nullptr;
    QByteArray raw;
    QByteArray inbound;
    QByteArray outbound;
    bool askForLogin = false;
    bool holdPrompt = false;
    bool loggedIn = false;
    int pieceSize = 0;
    int connections = 0;
    int claimed = 0;
    int clientCloses = 0;
    QHash<QByteArray, QByteArray> answers;
    QByteArray silentPrefix;
    QList<QByteArray> received;
    QList<QByteArray> loginNames;
};
