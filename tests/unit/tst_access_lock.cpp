#include "manager/access_lock.h"

#include <QMessageAuthenticationCode>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestAccessLock : public QObject
{
    Q_OBJECT

private slots:
    void passwordLifecycle()
    {
        AccessLock lock;
        QSignalSpy changed(&lock, &AccessLock::passwordChanged);
        QVERIFY(!lock.login(QStringLiteral("Tulpe")));
        QVERIFY(lock.login(QStringLiteral("tulpe")));
        // A wrong password while open leaves it open.
        QVERIFY(!lock.login(QStringLiteral("wrong")));
        QVERIFY(!lock.locked());

        const QString oldHash = lock.hashBase64();
        QVERIFY(!lock.changePassword(QStringLiteral("wrong"), QStringLiteral("new")));
        QCOMPARE(lock.hashBase64(), oldHash);
        QVERIFY(lock.changePassword(QStringLiteral("tulpe"), QString()));
        QCOMPARE(changed.count(), 1);
        QVERIFY(lock.locked());
        QVERIFY(!lock.login(QStringLiteral("tulpe")));
        QVERIFY(lock.login(QString()));

        // The same password set again still gets a new salt and so a new hash.
        const QString emptyHash = lock.hashBase64();
        QVERIFY(lock.changePassword(QString(), QString()));
        QVERIFY(lock.hashBase64() != emptyHash);
    }

    void relocksAfterTheDelay()
    {
        AccessLock standard;
        const auto *timer = standard.findChild<QTimer *>(QStringLiteral("relockTimer"));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 900000);
        QVERIFY(timer->isSingleShot());
        standard.setLocked(false);
        QVERIFY(timer->isActive());
        standard.setLocked(true);
        QVERIFY(!timer->isActive());

        AccessLock quick(nullptr, 50);
        QSignalSpy states(&quick, &AccessLock::lockStateChanged);
        QVERIFY(quick.login(QStringLiteral("tulpe")));
        QTRY_VERIFY_WITH_TIMEOUT(quick.locked(), 5000);
        QCOMPARE(states.count(), 2);
    }

    void storedData_data()
    {
        QTest::addColumn<QByteArray>("hash");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("kept");

        // With the salt as the key and the password as the message, a stored hash is the digest.
        QTest::newRow("RFC 2202 test case 1") << QByteArray::fromHex("b617318655057264e28bc0b6fb378c8ef146be00")
                                              << QByteArray(20, '\x0b') << "Hi There" << true;
        // Made the way stored hashes have always been made, over the password's Latin-1 bytes.
        const QByteArray salt = QByteArray::fromHex("00ff10203040506070ff");
        const QString password = QStringLiteral("Gr\u00fc\u00dfe");
        const QByteArray hash = QMessageAuthenticationCode::hash(password.toLatin1(), salt, QCryptographicHash::Sha1);
        QTest::newRow("Latin-1 password") << hash << salt << password << true;
        QTest::newRow("hash one byte short") << hash.left(19) << salt << password << false;
        QTest::newRow("salt one byte short") << hash << salt.left(9) << password << false;
    }

    void storedData()
    {
        QFETCH(QByteArray, hash);
        QFETCH(QByteArray, salt);
        QFETCH(QString, password);
        QFETCH(bool, kept);
        AccessLock lock;
        QSignalSpy changed(&lock, &AccessLock::passwordChanged);
        // As read from the file, with the blanks an edit by hand may leave.
        lock.load(
            QStringLiteral(" %1\n").arg(QString::fromLatin1(hash.toBase64())), QString::fromLatin1(salt.toBase64()));
        QCOMPARE(lock.login(password), kept);
        QCOMPARE(lock.login(QStringLiteral("tulpe")), !kept);
        // Loading saves nothing.
        QCOMPARE(changed.count(), 0);
    }

    void saltsAreFreshAndUseEveryByte()
    {
        QSet<int> lengths;
        QSet<int> values;
        for (int n = 0; n < 1000; ++n) {
            const QByteArray salt = QByteArray::fromBase64(AccessLock().saltBase64().toLatin1());
            lengths.insert(salt.size());
            for (char byte : salt)
                values.insert(uchar(byte));
        }
        QCOMPARE(lengths, (QSet<int> {10, 11, 12, 13, 14}));
        // About 12000 bytes: a value that never shows is one the generator cannot produce.
        QCOMPARE(values.size(), 256);
    }

    void passwordsOutsideLatin1KeepTheirCharacters()
    {
        AccessLock lock;
        const QString password = QStringLiteral("\u5bc6\u7801\u4e00");
        QVERIFY(lock.changePassword(QStringLiteral("tulpe"), password));
        QVERIFY(!lock.login(QStringLiteral("???")));
        QVERIFY(lock.login(password));
    }
};

QTEST_GUILESS_MAIN(TestAccessLock)
#include "tst_access_lock.moc"
