#include "fleet.h"

#include "bench_support.h"
#include "discovery/broadcast_socket.h"
#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "manager/routing.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

const QByteArray PROMPT = "/ # ";
const QByteArray NO_SOURCE = "NULL";
const QByteArray STAND_ALONE = "0:0:0:0";

// A decoder shell that knows the commands of routing and reading back: no login, every
// line echoed, telnet negotiation ignored. Each decoder keeps one link, so the link holds
// its decoder's source.
class FakeShell : public QObject
{
public:
    FakeShell(QTcpSocket *socket, const QByteArray &place, int commandMs)
        : QObject(socket)
        , socket(socket)
        , place(place)
        , commandMs(commandMs)
    {
        connect(socket, &QTcpSocket::readyRead, this, &FakeShell::onReadyRead);
        socket->write(PROMPT);
    }

private:
    void onReadyRead()
    {
        for (const char c : socket->readAll()) {
            if (skip > 0) {
                --skip;
            } else if (quint8(c) == 0xFF) {
                skip = 2;
            } else if (c == '\n') {
                answer(line.trimmed());
                line.clear();
            } else {
                line.append(c);
            }
        }
    }

    void answer(const QByteArray &command)
    {
        static const QByteArray selectSource = "gbconfig --source-select=";
        QByteArray output;
        if (command.endsWith("source_select")) {
            output = source + "\r\n";
        } else if (command.endsWith("crop_param")) {
            output = place + "\r\n";
        } else if (command.startsWith(selectSource)) {
            source = command.mid(selectSource.size()).split(';').value(0);
            out() << "command " << monotonicMicroseconds() << ' ' << command << Qt::endl;
        }
        const QByteArray answer = command + "\r\n" + output + PROMPT;
        if (commandMs == 0)
            socket->write(answer);
        else
            QTimer::singleShot(commandMs, socket, [this, answer] { socket->write(answer); });
    }

    QTcpSocket *socket;
    QByteArray place;
    int commandMs;
    QByteArray source = NO_SOURCE;
    QByteArray line;
    int skip = 0;
};

QString deviceName(int n, bool decoder)
{
    return (decoder ? QStringLiteral("IPD9BENCH-7C2E0D%1") : QStringLiteral("IPE9BENCH-7C2E0E%1"))
        .arg(n, 6, 16, QLatin1Char('0'))
        .toUpper();
}

} // namespace

int runFleet(const FleetPlan &plan)
{
    const int wallSize = plan.wallColumns * plan.wallRows;
    if (plan.addresses.size() <= wallSize || plan.decoders < wallSize) {
        out() << "a " << plan.wallColumns << " x " << plan.wallRows << " wall needs as many decoders and more "
              << "addresses" << Qt::endl;
        return 1;
    }
    // A socket bound to one address never sees a broadcast: one listener takes the
    // requests, and each device answers from the address it was given.
    QUdpSocket listener;
    if (!listener.bind(QHostAddress::AnyIPv4, DISCOVERY_REQUEST_PORT, QUdpSocket::ReuseAddressHint)) {
        out() << "cannot bind the discovery port" << Qt::endl;
        return 1;
    }
    QList<QUdpSocket *> senders;
    for (const QString &address : plan.addresses) {
        senders << new QUdpSocket(qApp);
        if (!senders.last()->bind(QHostAddress(address), 0)) {
            out() << "cannot bind " << address << Qt::endl;
            return 1;
        }
    }
    QList<QByteArray> records;
    QList<QUdpSocket *> recordSenders;
    QHash<QString, QByteArray> places;
    const int shared = plan.addresses.size() - wallSize;
    for (int n = 0; n < plan.decoders + plan.encoders; ++n) {
        records << makeDiscoveryRecord(deviceName(n, n < plan.decoders), QString());
        if (n < wallSize) {
            recordSenders << senders.at(n);
            // rows - 1, columns - 1, row, column: how a decoder reports its place.
            places.insert(plan.addresses.at(n),
                QStringLiteral("%1:%2:%3:%4")
                    .arg(plan.wallRows - 1)
                    .arg(plan.wallColumns - 1)
                    .arg(n / plan.wallColumns)
                    .arg(n % plan.wallColumns)
                    .toLatin1());
        } else {
            recordSenders << senders.at(wallSize + (n - wallSize) % shared);
        }
    }
    QObject::connect(&listener, &QUdpSocket::readyRead, [&] {
        while (listener.hasPendingDatagrams()) {
            const QNetworkDatagram request = listener.receiveDatagram();
            if (request.data() != DISCOVERY_REQUEST)
                continue;
            for (int n = 0; n < records.size(); ++n)
                recordSenders.at(n)->writeDatagram(
                    records.at(n), request.senderAddress(), quint16(request.senderPort()));
        }
    });
    QList<QUdpSocket *> commandPorts;
    for (const quint16 port : Routing::ENCODER_COMMAND_PORTS) {
        commandPorts << new QUdpSocket(qApp);
        QUdpSocket *socket = commandPorts.last();
        if (!socket->bind(QHostAddress::AnyIPv4, port, QUdpSocket::ReuseAddressHint)) {
            out() << "cannot bind port " << port << Qt::endl;
            return 1;
        }
        QObject::connect(socket, &QUdpSocket::readyRead, [socket, port] {
            while (socket->hasPendingDatagrams()) {
                socket->receiveDatagram();
                out() << "datagram " << monotonicMicroseconds() << ' ' << port << Qt::endl;
            }
        });
    }
    QTcpServer shells;
    if (!shells.listen(QHostAddress::AnyIPv4, 24)) {
        out() << "cannot listen on port 24" << Qt::endl;
        return 1;
    }
    QObject::connect(&shells, &QTcpServer::newConnection, [&shells, &places, &plan] {
        while (QTcpSocket *socket = shells.nextPendingConnection())
            new FakeShell(socket, places.value(socket->localAddress().toString(), STAND_ALONE), plan.commandMs);
    });
    out() << "ready fleet " << plan.decoders << " decoders " << plan.encoders << " encoders on "
          << plan.addresses.size() << " addresses" << Qt::endl;
    return qApp->exec();
}
