#include "manager/access_lock.h"

#include <QMessageAuthenticationCode>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestAccessLock : public QObject
{
    Q_OBJECT

private slots:
    void passwordLifecycle();
    void relocksAfterTheDelay();
    void rfc2202Vectors_data();
    void rfc2202Vectors();
    void storedData_data();
    void storedData();
    void saltsAreFreshAndUseEveryByte();
    void passwordsOutsideLatin1KeepTheirCharacters();
};

void TestAccessLock::passwordLifecycle()
{
    AccessLock lock;
    QSignalSpy states(&lock, &AccessLock::lockStateChanged);
    QSignalSpy changed(&lock, &AccessLock::passwordChanged);
    QVERIFY(lock.locked());

    QVERIFY(!lock.login(QStringLiteral("Tulpe")));
    QVERIFY(lock.locked());
    QCOMPARE(states.count(), 0);

    QVERIFY(lock.login(QStringLiteral("tulpe")));
    QVERIFY(!lock.locked());
    QCOMPARE(states.takeFirst().at(0).toBool(), false);
    // A wrong password while open leaves it open.
    QVERIFY(!lock.login(QStringLiteral("wrong")));
    QVERIFY(!lock.locked());

    const QString oldHash = lock.hashBase64();
    const QString oldSalt = lock.saltBase64();
    QVERIFY(!lock.changePassword(QStringLiteral("wrong"), QStringLiteral("new")));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(lock.hashBase64(), oldHash);

    QVERIFY(lock.changePassword(QStringLiteral("tulpe"), QString()));
    QCOMPARE(changed.count(), 1);
    QVERIFY(lock.locked());
    QCOMPARE(states.takeFirst().at(0).toBool(), true);
    QVERIFY(lock.hashBase64() != oldHash);
    QVERIFY(lock.saltBase64() != oldSalt);
    QVERIFY(!lock.login(QStringLiteral("tulpe")));
    QVERIFY(lock.login(QString()));

    // The same password set again still gets a new salt and so a new hash.
    const QString emptyHash = lock.hashBase64();
    QVERIFY(lock.changePassword(QString(), QString()));
    QVERIFY(lock.hashBase64() != emptyHash);
}

void TestAccessLock::relocksAfterTheDelay()
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
    QVERIFY(states.wait(5000));
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.at(1).at(0).toBool(), true);
    QVERIFY(quick.locked());
}

void TestAccessLock::rfc2202Vectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("digest");
    QTest::newRow("test case 1") << QByteArray(20, '\x0b') << "Hi There"
                                 << QByteArray::fromHex("b617318655057264e28bc0b6fb378c8ef146be00");
    QTest::newRow("key longer than a block")
        << QByteArray(80, '\xaa') << "Test Using Larger Than Block-Size Key - Hash Key First"
        << QByteArray::fromHex("aa4ae5e15272d00e95705637ce8a3b55ed402112");
}

// With the salt as the key and the password as the message, a stored hash is the RFC's digest.
void TestAccessLock::rfc2202Vectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, data);
    QFETCH(QByteArray, digest);
    AccessLock lock;
    lock.load(QString::fromLatin1(digest.toBase64()), QString::fromLatin1(key.toBase64()));
    QVERIFY(lock.login(data));
    QVERIFY(!lock.login(QStringLiteral("tulpe")));
}

void TestAccessLock::storedData_data()
{
    // Made the way stored hashes have always been made: HMAC-SHA1 keyed with the salt
    // over the password's Latin-1 bytes.
    const QByteArray salt = QByteArray::fromHex("00ff10203040506070ff");
    const QString password = QStringLiteral("Gr\u00fc\u00dfe");
    const QByteArray hash = QMessageAuthenticationCode::hash(password.toLatin1(), salt, QCryptographicHash::Sha1);

    QTest::addColumn<QString>("hashText");
    QTest::addColumn<QString>("saltText");
    QTest::addColumn<bool>("kept");
    QTest::newRow("valid") << QString::fromLatin1(hash.toBase64()) << QString::fromLatin1(salt.toBase64()) << true;
    QTest::newRow("surrounded by blanks") << QStringLiteral(" %1\n").arg(QString::fromLatin1(hash.toBase64()))
                                          << QStringLiteral("\t%1 ").arg(QString::fromLatin1(salt.toBase64())) << true;
    QTest::newRow("hash one byte short") << QString::fromLatin1(hash.left(19).toBase64())
                                         << QString::fromLatin1(salt.toBase64()) << false;
    QTest::newRow("salt one byte short") << QString::fromLatin1(hash.toBase64())
                                         << QString::fromLatin1(salt.left(9).toBase64()) << false;
    QTest::newRow("not Base64") << QStringLiteral("!!not base64 at all!!") << QString::fromLatin1(salt.toBase64())
                                << false;
    QTest::newRow("nothing stored") << QString() << QString() << false;
}

void TestAccessLock::storedData()
{
    QFETCH(QString, hashText);
    QFETCH(QString, saltText);
    QFETCH(bool, kept);
    AccessLock lock;
    QSignalSpy changed(&lock, &AccessLock::passwordChanged);
    lock.load(hashText, saltText);
    QCOMPARE(lock.login(QStringLiteral("Gr\u00fc\u00dfe")), kept);
    QCOMPARE(lock.login(QStringLiteral("tulpe")), !kept);
    if (kept)
        QCOMPARE(lock.hashBase64(), hashText.trimmed());
    else
        QCOMPARE(QByteArray::fromBase64(lock.hashBase64().toLatin1()).size(), AccessLock::HASH_SIZE);
    // Loading saves nothing.
    QCOMPARE(changed.count(), 0);
}

void TestAccessLock::saltsAreFreshAndUseEveryByte()
{
    QVERIFY(AccessLock().saltBase64() != AccessLock().saltBase64());

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

void TestAccessLock::passwordsOutsideLatin1KeepTheirCharacters()
{
    AccessLock lock;
    const QString password = QStringLiteral("\u5bc6\u7801\u4e00");
    QVERIFY(lock.changePassword(QStringLiteral("tulpe"), password));
    QVERIFY(!lock.login(QStringLiteral("???")));
    QVERIFY(!lock.login(QStringLiteral("\u53e6\u4e00\u4e2a")));
    QVERIFY(lock.login(password));
}

QTEST_GUILESS_MAIN(TestAccessLock)
#include "tst_access_lock.moc"
