#include "discovery/interface_selection.h"

#include <QtTest>

namespace {

// Two cards, the first with two addresses, as an installer's PC might have them.
const QList<InterfaceAddress> candidates {
    {"eth0", "Office", QHostAddress("10.1.2.3"), {}},
    {"eth0", "Office", QHostAddress("192.0.2.1"), {}},
    {"eth1", "AV LAN", QHostAddress("198.51.100.7"), {}},
};

QStringList ips(const QList<InterfaceAddress> &addresses)
{
    QStringList result;
    for (const InterfaceAddress &a : addresses)
        result << a.ip.toString();
    return result;
}

} // namespace

class TestInterfaceSelection : public QObject
{
    Q_OBJECT

private slots:
    void selection_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("unmatched");

        QTest::newRow("blanks and commas keep all")
            << QStringLiteral(" , ,") << QStringList {"10.1.2.3", "192.0.2.1", "198.51.100.7"} << QStringList();
        QTest::newRow("by human-readable name")
            << QStringLiteral("AV LAN") << QStringList {"198.51.100.7"} << QStringList();
        QTest::newRow("name and subnet (one address of a card), spaces trimmed, order kept")
            << QStringLiteral(" eth1 , 192.0.2.0/24") << QStringList {"192.0.2.1", "198.51.100.7"} << QStringList();
        QTest::newRow("overlapping entries keep an address once")
            << QStringLiteral("eth0,10.0.0.0/8") << QStringList {"10.1.2.3", "192.0.2.1"} << QStringList();
        QTest::newRow("names are exact") << QStringLiteral("ETH0,eth") << QStringList() << QStringList {"ETH0", "eth"};
        QTest::newRow("unknown entry reported, others still work")
            << QStringLiteral("wlan0,eth1") << QStringList {"198.51.100.7"} << QStringList {"wlan0"};
        QTest::newRow("malformed subnets match nothing")
            << QStringLiteral("192.0.2.0/33,300.1.2.0/24,/24") << QStringList()
            << QStringList {"192.0.2.0/33", "300.1.2.0/24", "/24"};
    }

    void selection()
    {
        QFETCH(QString, selection);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, unmatched);

        QStringList reported;
        QCOMPARE(ips(selectInterfaceAddresses(candidates, selection, &reported)), expected);
        QCOMPARE(reported, unmatched);
    }
};

QTEST_GUILESS_MAIN(TestInterfaceSelection)
#include "tst_interface_selection.moc"
