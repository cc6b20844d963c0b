#include "manager/access_lock.h"

#include <QMessageAuthenticationCode>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestAccessLock : public QObject
{
    Q_OBJECT

private slots:
    void changePassword()
    {
        AccessLock lock;
        const QString first = lock.hashBase64();
        QVERIFY(!lock.changePassword(QStringLiteral("wrong"), QStringLiteral("new")));
        QCOMPARE(lock.hashBase64(), first);
        // The same password set again still gets a new salt, and so a new hash.
        QVERIFY(lock.changePassword(QStringLiteral("tulpe"), QStringLiteral("tulpe")));
        QVERIFY(lock.hashBase64() != first);
        const QString chinese = QStringLiteral("\u5bc6\u7801\u4e00");
        QVERIFY(lock.changePassword(QStringLiteral("tulpe"), chinese));
        QVERIFY(!lock.login(QStringLiteral("???")));
        QVERIFY(lock.login(chinese));
    }

    void relocksAfterTheDelay()
    {
        AccessLock lock(nullptr, 50);
        const auto *timer = lock.findChild<QTimer *>(QStringLiteral("relockTimer"));
        QVERIFY(timer && timer->isSingleShot());
        QVERIFY(lock.login(QStringLiteral("tulpe")));
        QVERIFY(timer->isActive());
        lock.setLocked(true);
        QVERIFY(!timer->isActive());
        QVERIFY(lock.login(QStringLiteral("tulpe")));
        QTRY_VERIFY_WITH_TIMEOUT(lock.locked(), 5000);
    }

    void storedData_data()
    {
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<bool>("kept");
        QTest::newRow("ten bytes of salt") << QByteArray::fromHex("00ff10203040506070ff") << true;
        QTest::newRow("nine bytes of salt") << QByteArray::fromHex("00ff102030405060ff") << false;
    }

    // Stored hashes have always been made over the password's Latin-1 bytes, with the salt as the key.
    void storedData()
    {
        QFETCH(QByteArray, salt);
        QFETCH(bool, kept);
        const QString password = QStringLiteral("Gr\u00fc\u00dfe");
        const QByteArray hash = QMessageAuthenticationCode::hash(password.toLatin1(), salt, QCryptographicHash::Sha1);
        AccessLock lock;
        // As read from the file, with the blanks an edit by hand may leave.
        lock.load(
            QStringLiteral(" %1\n").arg(QString::fromLatin1(hash.toBase64())), QString::fromLatin1(salt.toBase64()));
        QCOMPARE(lock.login(password), kept);
        QCOMPARE(lock.login(QStringLiteral("tulpe")), !kept);
    }

    void saltsUseEveryByte()
    {
        QSet<int> values;
        for (int n = 0; n < 1000; ++n) {
            for (const char byte : QByteArray::fromBase64(AccessLock().saltBase64().toLatin1()))
                values.insert(uchar(byte));
        }
        // About 12000 bytes: a value that never shows is one the generator cannot produce.
        QCOMPARE(values.size(), 256);
    }
};

QTEST_GUILESS_MAIN(TestAccessLock)
#include "tst_access_lock.moc"
