#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTcpServer>

class QTcpSocket;

// A decoder shell on 127.0.0.1 for tests: it echoes each command line, prints the
// answer scripted for it and ends with the "/ # " prompt, optionally asking for a login
// first, answering in small pieces, or staying silent for chosen commands.
class ScriptedShellPeer : public QObject
{
    Q_OBJECT

public:
    explicit ScriptedShellPeer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return server.serverPort(); }

    // Ask for a login name before the first prompt.
    void setAskForLogin(bool ask) { askForLogin = ask; }
    // Hold the first prompt back until releasePrompt().
    void setHoldPrompt(bool hold) { holdPrompt = hold; }
    void releasePrompt();
    // Everything the peer sends is cut into pieces of this many bytes, sent apart.
    void setPieceSize(int bytes) { pieceSize = bytes; }
    // The output printed for a command line (without its line end).
    void setAnswer(const QByteArray &commandLine, const QByteArray &output);
    // Command lines that start with the prefix get no answer at all, not even a prompt.
    void setSilentFor(const QByteArray &prefix) { silentPrefix = prefix; }
    void dropConnection();

    QList<QByteArray> commands() const { return received; }
    QList<QByteArray> logins() const { return loginNames; }
    int connectionCount() const { return connections; }
    // Links that the controller closed, as opposed to dropConnection().
    int closedByClient() const { return clientCloses; }
    bool clientConnected() const { return client != nullptr; }

signals:
    void commandReceived(const QByteArray &line);

private slots:
    void onNewConnection();
    void onReadyRead();

private:
    void sendInPieces(const QByteArray &data);
    void sendNextPiece();
    void handleLine(const QByteArray &line);
    static QByteArray withoutTelnetCommands(const QByteArray &data);

    QTcpServer server;
    QTcpSocket *client = nullptr;
    QByteArray inbound;
    QByteArray outbound;
    bool askForLogin = false;
    bool holdPrompt = false;
    bool loggedIn = false;
    int pieceSize = 0;
    int connections = 0;
    int clientCloses = 0;
    QHash<QByteArray, QByteArray> answers;
    QByteArray silentPrefix;
    QList<QByteArray> received;
    QList<QByteArray> loginNames;
};
