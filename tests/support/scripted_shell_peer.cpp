#include "scripted_shell_peer.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray PROMPT = "/ # ";
const QByteArray LINE_END = "\r\n";
constexpr char IAC = char(255);
constexpr char SB = char(250);
constexpr char SE = char(240);
constexpr int PIECE_GAP_MS = 15;

} // namespace

ScriptedShellPeer::ScriptedShellPeer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &ScriptedShellPeer::onNewConnection);
}

bool ScriptedShellPeer::listen()
{
    return server.listen(QHostAddress::LocalHost, 0);
}

void ScriptedShellPeer::setAnswer(const QByteArray &commandLine, const QByteArray &output)
{
    answers.insert(commandLine, output);
}

void ScriptedShellPeer::releasePrompt()
{
    holdPrompt = false;
    if (client && !askForLogin)
        sendInPieces(PROMPT);
}

void ScriptedShellPeer::dropConnection()
{
    if (!client)
        return;
    QTcpSocket *dropped = client;
    client = nullptr;
    dropped->disconnectFromHost();
    dropped->deleteLater();
}

void ScriptedShellPeer::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        // One decoder shell serves one controller; an older link is replaced.
        dropConnection();
        client = socket;
        ++connections;
        inbound.clear();
        outbound.clear();
        loggedIn = false;
        connect(client, &QTcpSocket::readyRead, this, &ScriptedShellPeer::onReadyRead);
        connect(client, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket != client)
                return;
            ++clientCloses;
            client = nullptr;
            socket->deleteLater();
        });
        if (askForLogin)
            sendInPieces("\r\nstandin login: ");
        else if (!holdPrompt)
            sendInPieces(PROMPT);
    }
}

QByteArray ScriptedShellPeer::withoutTelnetCommands(const QByteArray &data)
{
    QByteArray text;
    for (int i = 0; i < data.size(); ++i) {
        if (data.at(i) != IAC) {
            text.append(data.at(i));
        } else if (i + 1 < data.size() && data.at(i + 1) == SB) {
            const int end = data.indexOf(QByteArray {IAC, SE}, i + 2);
            i = end < 0 ? data.size() : end + 1;
        } else {
            i += 2;
        }
    }
    return text;
}

void ScriptedShellPeer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (socket != client)
        return;
    // The client's option requests arrive whole in its first write; the tests need no
    // negotiation, so they are dropped rather than answered.
    inbound.append(withoutTelnetCommands(socket->readAll()));
    int end;
    while ((end = inbound.indexOf(LINE_END)) >= 0) {
        const QByteArray line = inbound.left(end);
        inbound.remove(0, end + LINE_END.size());
        handleLine(line);
    }
}

void ScriptedShellPeer::handleLine(const QByteArray &line)
{
    if (askForLogin && !loggedIn) {
        loginNames.append(line);
        loggedIn = true;
        sendInPieces(line + LINE_END + "Welcome\r\n" + PROMPT);
        return;
    }
    received.append(line);
    emit commandReceived(line);
    if (!silentPrefix.isEmpty() && line.startsWith(silentPrefix))
        return;
    sendInPieces(line + LINE_END + answers.value(line) + PROMPT);
}

void ScriptedShellPeer::sendInPieces(const QByteArray &data)
{
    if (!client)
        return;
    if (pieceSize <= 0) {
        client->write(data);
        return;
    }
    const bool idle = outbound.isEmpty();
    outbound.append(data);
    if (idle)
        sendNextPiece();
}

void ScriptedShellPeer::sendNextPiece()
{
    if (!client || outbound.isEmpty())
        return;
    client->write(outbound.left(pieceSize));
    client->flush();
    outbound.remove(0, pieceSize);
    if (!outbound.isEmpty())
        QTimer::singleShot(PIECE_GAP_MS, this, &ScriptedShellPeer::sendNextPiece);
}
