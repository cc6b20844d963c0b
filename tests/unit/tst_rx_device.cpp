#include "log_capture.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "qttelnet/qt_telnet.h"
#include "scripted_shell_peer.h"
#include "test_records.h"

#include <QTextCodec>
#include <QtTest>
#include <optional>

namespace {

const QString NAME = QStringLiteral("IPD9DEMO-7C2E0DFE0001");
const QByteArray QUERY_SOURCE = "gbparam g source_select";
const QByteArray QUERY_PLACE = "gbparam g crop_param";

DeviceDiscoveryResponsePtr record()
{
    return parsedDiscoveryRecord(NAME, QString(), QHostAddress::LocalHost);
}

// The link comes up and the shell, after a login, answers what the decoder sends.
void logIn(ScriptedShellPeer &shell)
{
    shell.accept();
    shell.send("decoder login: ");
    shell.answerLines();
}

bool idle(const RxDevice &device)
{
    return device.state() == RxDevice::Ready && device.pendingCommandCount() == 0;
}

} // namespace

class TestRxDevice : public QObject
{
    Q_OBJECT

private slots:
    // A decoder that no wall accepts is dropped from the pending list as soon as its
    // information arrives, and that list held the only reference to it.
    void survivesAReceiverDroppingIt()
    {
        DeviceListModel pending(nullptr);
        QPointer<RxDevice> watched;
        std::optional<ScriptedShellPeer> shell;
        // Whatever the device still does once it has been dropped shows in its log.
        std::optional<LogCapture> afterDrop;
        {
            const auto device = QSharedPointer<RxDevice>::create(record());
            watched = device.data();
            pending.addDevice(device, -1);
            connect(device.data(), &RxDevice::deviceInfoFetched, &pending, [&](RxDevice *fetched) {
                pending.removeDevice(fetched->name());
                afterDrop.emplace(QtDebugMsg);
            });
            shell.emplace(device->findChild<QtTelnet *>());
        }
        logIn(*shell);
        QTRY_VERIFY(!watched);
        QCOMPARE(pending.rowCount(), 0);
        QCOMPARE(afterDrop->matching(QStringLiteral("Changed state")), QStringList());
    }

    // Commands given before the shell is ready: the newest of each kind is sent, in the order
    // the latest ones were given; one with a line end in it is refused.
    void queueKeepsTheNewestOfEachKind()
    {
        RxDevice device(record());
        ScriptedShellPeer shell(device.findChild<QtTelnet *>());
        LogCapture warnings(QtWarningMsg);
        device.setSource(QStringLiteral("IPE1-00aabbccdd01"));
        device.setDisplayPower(true, QString());
        device.setSource(QStringLiteral("IPE1-00aabbccdd02"));
        device.setSource(QStringLiteral("IPE1-00aabbccdd03\r\nreboot"));
        device.setDisplayPower(true, QStringLiteral("40\r\nreboot"));
        device.setDisplayPower(false, QString());
        for (int number : {9, 12, 100}) {
            device.setSeq(number);
            device.showOsdSeq();
        }
        device.resetVw();
        device.configVw(2, 3, 1, 2);
        device.setDisplayPower(true, QString());
        QCOMPARE(warnings.messages().size(), 2);
        QCOMPARE(device.currentSource(), QStringLiteral("IPE1-00aabbccdd02"));

        logIn(shell);
        QVERIFY(idle(device));
        QCOMPARE(shell.lines,
            (QList<QByteArray> {"root", QUERY_SOURCE, QUERY_PLACE,
                "gbconfig --source-select=IPE1-00aabbccdd02;e e_reconnect", "e e_cec_system_standby",
                "osd_show -o 1 -s \"100\" -f 800 -p 3200,2500", "e e_vw_enable_1_2_1_2;e e_reconnect",
                "e e_cec_one_touch_play"}));
    }

    // Every new link reads what the decoder shows, as does a request while the link is up;
    // a request while a reading is under way adds none. Names reach the shell as UTF-8 even
    // where the local encoding is a code page.
    void readsItsStateAtEveryConnection()
    {
        RxDevice device(record());
        ScriptedShellPeer shell(device.findChild<QtTelnet *>());
        QSignalSpy fetched(&device, &RxDevice::deviceInfoFetched);
        logIn(shell);
        QTRY_COMPARE(fetched.count(), 1);
        device.readState();
        device.readState();
        shell.answerLines();
        QTRY_COMPARE(fetched.count(), 2);
        shell.hangUp();
        QVERIFY(QMetaObject::invokeMethod(&device, "doReconnect"));
        logIn(shell);
        QTRY_COMPARE(fetched.count(), 3);
        QCOMPARE(device.connectionNumber(), 2);
        QCOMPARE(shell.lines,
            (QList<QByteArray> {
                "root", QUERY_SOURCE, QUERY_PLACE, QUERY_SOURCE, QUERY_PLACE, "root", QUERY_SOURCE, QUERY_PLACE}));

        QTextCodec *local = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        device.setSource(QString::fromUtf8("B\xc3\xbchne-\xe5\xa4\xa7"));
        shell.answerLines();
        QTextCodec::setCodecForLocale(local);
        QCOMPARE(shell.lines.last(), QByteArray("gbconfig --source-select='B\xc3\xbchne-\xe5\xa4\xa7';e e_reconnect"));
    }

    // A command whose answer does not come, because the link breaks or the shell stays silent,
    // is sent again on the next link, and given up after its third try.
    void brokenLinksAndUnfinishedCommands()
    {
        RxDevice device(record());
        ScriptedShellPeer shell(device.findChild<QtTelnet *>());
        shell.silentPrefix = "osd_show -c";
        logIn(shell);
        QVERIFY(idle(device));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("gives up on command osd_show -c 1 ")));
        device.hideOsd();
        // The running command is no longer a candidate for replacement; the one behind it is.
        device.showOsdSeq();
        QCOMPARE(device.pendingCommandCount(), 2);
        device.setDisplayPower(true, QString());
        shell.answerLines();
        shell.hangUp();
        for (int attempt = 2; attempt <= RxDevice::COMMAND_ATTEMPTS; ++attempt) {
            QCOMPARE(device.state(), RxDevice::ErrorWaiting);
            // What the reconnect timer would do 10 s later.
            QVERIFY(QMetaObject::invokeMethod(&device, "doReconnect"));
            logIn(shell);
            QVERIFY(QMetaObject::invokeMethod(&device, "onResponseTimeout"));
        }
        QVERIFY(QMetaObject::invokeMethod(&device, "doReconnect"));
        logIn(shell);
        QVERIFY(idle(device));
        const QByteArray hide = "osd_show -c 1";
        // The first new link reads the decoder again, after what was asked of it before.
        QCOMPARE(shell.lines.mid(3),
            (QList<QByteArray> {hide, "root", hide, "root", hide, "root", "osd_show -o 1 -s \"0\" -f 800 -p 4300,2500",
                "e e_cec_one_touch_play", QUERY_SOURCE, QUERY_PLACE}));

        // Text that comes while no command runs is logged once, not kept for the next one.
        LogCapture notes(QtDebugMsg);
        shell.send("<idle>");
        QCOMPARE(notes.matching(QStringLiteral("<idle>")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRxDevice)
#include "tst_rx_device.moc"
