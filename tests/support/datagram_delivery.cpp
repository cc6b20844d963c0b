#include "datagram_delivery.h"

#include <QTest>
#include <QUdpSocket>
#include <sched.h>

bool deliverTogether(const QByteArrayList &payloads, quint16 port, const QHostAddress &from)
{
    QUdpSocket sender;
    QUdpSocket probe;
    if (!sender.bind(from, 0) || !probe.bind(QHostAddress::LocalHost, 0))
        return false;
    // Loopback queues each datagram on the sending CPU and, under load, hands it over later
    // but in order: sent from one CPU, the probe's datagram arrives after all the others.
    cpu_set_t before;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    const bool pinned = sched_getaffinity(0, sizeof before, &before) == 0 && sched_setaffinity(0, sizeof one, &one) == 0;
    for (const QByteArray &payload : payloads)
        sender.writeDatagram(payload, QHostAddress::LocalHost, port);
    sender.writeDatagram("sent", QHostAddress::LocalHost, probe.localPort());
    if (pinned)
        sched_setaffinity(0, sizeof before, &before);
    return pinned && QTest::qWaitFor([&probe] { return probe.hasPendingDatagrams(); }, 10000);
}
