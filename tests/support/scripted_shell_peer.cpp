#include "scripted_shell_peer.h"

#include "models/rx_device.h"
#include "qttelnet/qt_telnet.h"
#include "qttelnet/qt_telnet_private.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <algorithm>
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

const QByteArray ScriptedDecoder::QUERY_SOURCE = "gbparam g source_select";
const QByteArray ScriptedDecoder::QUERY_PLACE = "gbparam g crop_param";
const QByteArray ScriptedDecoder::SWITCH = "gbconfig --source-select=";
const QByteArray ScriptedDecoder::PLACE = "e e_vw_enable_";

ScriptedDecoder::ScriptedDecoder(
    const QSharedPointer<RxDevice> &decoder, const QByteArray &source, const QByteArray &place)
    : decoder(decoder)
    , peer(decoder->findChild<QtTelnet *>())
{
    peer.outputs[QUERY_SOURCE] = source;
    peer.outputs[QUERY_PLACE] = place;
    peer.onLine = [this](const QByteArray &line) {
        if (stubborn)
            return;
        if (line.startsWith(SWITCH))
            peer.outputs[QUERY_SOURCE] = line.mid(SWITCH.size()).split(';').first();
        if (line.startsWith(PLACE))
            peer.outputs[QUERY_PLACE] = line.mid(PLACE.size()).split(';').first().replace('_', ':');
    };
}

void ScriptedDecoder::connect()
{
    QMetaObject::invokeMethod(decoder.data(), "doReconnect");
    peer.accept();
    peer.send("decoder login: ");
    // Answers may bring commands from the event loop (a route kept, a place read).
    for (int round = 0; round < 3; ++round) {
        peer.answerLines();
        QCoreApplication::processEvents();
    }
}

void ScriptedDecoder::powerCycle(const QByteArray &source)
{
    peer.hangUp();
    peer.outputs[QUERY_SOURCE] = source;
    connect();
}

int ScriptedDecoder::count(const QByteArray &start) const
{
    return int(std::count_if(
        peer.lines.cbegin(), peer.lines.cend(), [&start](const QByteArray &line) { return line.startsWith(start); }));
}
