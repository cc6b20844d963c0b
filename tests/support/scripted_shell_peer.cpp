#include "scripted_shell_peer.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray PROMPT = "/ # ";
const QByteArray LINE_END = "\r\n";
constexpr char IAC = char(255);
constexpr char SB = char(250);
constexpr char SE = char(240);
constexpr int PIECE_GAP_MS = 15;

QByteArray withoutTelnetCommands(const QByteArray &data)
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

} // namespace

ScriptedShellPeer::ScriptedShellPeer(Mode mode)
    : mode(mode)
{
    connect(&server, &QTcpServer::newConnection, this, &ScriptedShellPeer::onNewConnection);
    server.listen(QHostAddress::LocalHost, 0);
}

void ScriptedShellPeer::releasePrompt()
{
    holdPrompt = false;
    if (current && !askForLogin)
        sendInPieces(PROMPT);
}

void ScriptedShellPeer::dropConnection()
{
    if (!current)
        return;
    QTcpSocket *dropped = current;
    current = nullptr;
    dropped->disconnectFromHost();
    dropped->deleteLater();
}

bool ScriptedShellPeer::waitForClient(int msecs)
{
    if (!QTest::qWaitFor([this] { return connections > claimed; }, msecs))
        return false;
    claimed = connections;
    return true;
}

bool ScriptedShellPeer::waitForBytes(int count, int msecs)
{
    return QTest::qWaitFor([this, count] { return raw.size() >= count; }, msecs);
}

bool ScriptedShellPeer::waitForDisconnected(int msecs)
{
    return QTest::qWaitFor([this] { return !current; }, msecs);
}

void ScriptedShellPeer::send(const QByteArray &data)
{
    current->write(data);
    current->flush();
}

QByteArray ScriptedShellPeer::takeRawBytes()
{
    QByteArray taken;
    taken.swap(raw);
    return taken;
}

void ScriptedShellPeer::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        // One decoder shell serves one controller; an older link is replaced.
        dropConnection();
        current = socket;
        ++connections;
        raw.clear();
        inbound.clear();
        outbound.clear();
        loggedIn = false;
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedShellPeer::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket != current)
                return;
            ++clientCloses;
            current = nullptr;
            socket->deleteLater();
        });
        if (mode == Raw)
            continue;
        if (askForLogin)
            sendInPieces("\r\nstandin login: ");
        else if (!holdPrompt)
            sendInPieces(PROMPT);
    }
}

void ScriptedShellPeer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (socket != current)
        return;
    const QByteArray data = socket->readAll();
    raw.append(data);
    if (mode == Raw)
        return;
    // The client's option requests arrive whole in its first write; the tests need no
    // negotiation, so they are dropped rather than answered.
    inbound.append(withoutTelnetCommands(data));
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
    if (!current)
        return;
    if (pieceSize <= 0) {
        current->write(data);
        return;
    }
    const bool idle = outbound.isEmpty();
    outbound.append(data);
    if (idle)
        sendNextPiece();
}

void ScriptedShellPeer::sendNextPiece()
{
    if (!current || outbound.isEmpty())
        return;
    current->write(outbound.left(pieceSize));
    current->flush();
    outbound.remove(0, pieceSize);
    if (!outbound.isEmpty())
        QTimer::singleShot(PIECE_GAP_MS, this, &ScriptedShellPeer::sendNextPiece);
}
