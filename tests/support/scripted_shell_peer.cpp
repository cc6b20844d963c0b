#include "scripted_shell_peer.h"

#include "qttelnet/qt_telnet.h"
#include "qttelnet/qt_telnet_private.h"

#include <QTcpSocket>
#include <utility>

// Open without a connection; an attempt to connect only opens it again after a close.
class WireSocket : public QTcpSocket
{
public:
    using QTcpSocket::connectToHost;
    void connectToHost(const QString &, quint16, OpenMode mode, NetworkLayerProtocol) override { setOpenMode(mode); }
    void reopen() { setOpenMode(ReadWrite); }
    QByteArray written;

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(data, int(size));
        return size;
    }
};

ScriptedShellPeer::ScriptedShellPeer(QtTelnet *client)
    : wire(new WireSocket)
    , receivePath(client->findChild<QtTelnetPrivate *>())
{
    client->setSocket(wire);
}

QByteArray ScriptedShellPeer::accept()
{
    wire->reopen();
    receivePath->socketConnected();
    return takeWritten();
}

void ScriptedShellPeer::send(const QByteArray &bytes)
{
    receivePath->receive(bytes);
}

void ScriptedShellPeer::hangUp()
{
    emit wire->errorOccurred(QAbstractSocket::RemoteHostClosedError);
    emit wire->disconnected();
}

QByteArray ScriptedShellPeer::takeWritten()
{
    return std::exchange(wire->written, QByteArray());
}

void ScriptedShellPeer::answerLines()
{
    unread += takeWritten();
    int end;
    while ((end = unread.indexOf("\r\n")) >= 0) {
        const QByteArray line = unread.left(end);
        unread.remove(0, end + 2);
        lines << line;
        if (onLine)
            onLine(line);
        const QByteArray output = outputs.value(line);
        if (silentPrefix.isEmpty() || !line.startsWith(silentPrefix))
            send(line + "\r\n" + (output.isEmpty() ? QByteArray() : output + "\r\n") + "/ # ");
        unread += takeWritten();
    }
}
