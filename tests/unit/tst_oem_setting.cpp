#include "oem_setting.h"

#include <QCoreApplication>
#include <QFile>
#include <QtTest>

class TestOemSetting : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void branding_data();
    void branding();

private:
    QString customPath() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/custom.json"); }
};

void TestOemSetting::cleanup()
{
    QFile::remove(customPath());
}

void TestOemSetting::branding_data()
{
    QTest::addColumn<QByteArray>("custom"); // empty: no file at all
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("expected");

    const QByteArray none;
    QTest::newRow("default name") << none << "name" << "Brivolt Orvanta Lite";
    QTest::newRow("default version is the program's") << none << "version" << QStringLiteral(ZENTROVA_VERSION);
    QTest::newRow("default splash") << none << "splash" << "qrc:/images/logo.png";
    QTest::newRow("default logo") << none << "logo" << "qrc:/images/logo-grey.png";
    QTest::newRow("default video placeholder") << none << "vw_placeholder" << "qrc:/images/rxzone-no-source.png";
    QTest::newRow("default cell placeholder") << none << "tx_placeholder" << "qrc:/images/txcell-no-source.png";
    QTest::newRow("default demo video") << none << "demoVideo" << "OrvantaLiteDemo.avi";
    QTest::newRow("default icon") << none << "icon" << ":/images/app-icon.png";

    QTest::newRow("name") << QByteArray(R"({"app_name":"Venue Control"})") << "name" << "Venue Control";
    QTest::newRow("name given as a number") << QByteArray(R"({"app_name":12})") << "name" << "Brivolt Orvanta Lite";
    QTest::newRow("malformed file") << QByteArray(R"({"app_name":)") << "name" << "Brivolt Orvanta Lite";
    QTest::newRow("version text") << QByteArray(R"({"version":"2.0 beta"})") << "version" << "2.0 beta";
    QTest::newRow("empty version") << QByteArray(R"({"version":""})") << "version" << QStringLiteral(ZENTROVA_VERSION);
    QTest::newRow("absolute splash") << QByteArray(R"({"splash_image":"/opt/brand/splash.png"})") << "splash"
                                     << "file:///opt/brand/splash.png";
    QTest::newRow("relative logo stays relative") << QByteArray(R"({"logo_image":"brand/logo.png"})") << "logo"
                                                  << "file:brand/logo.png";
    QTest::newRow("qrc splash") << QByteArray(R"({"splash_image":"qrc:/x.png"})") << "splash" << "qrc:/x.png";
    QTest::newRow("resource splash") << QByteArray(R"({"splash_image":":/x.png"})") << "splash" << ":/x.png";
    QTest::newRow("file url kept") << QByteArray(R"({"logo_image":"file:///a%20b.png"})") << "logo"
                                   << "file:///a%20b.png";
    QTest::newRow("path with space decoded") << QByteArray(R"({"logo_image":"/a b.png"})") << "logo"
                                             << "file:///a b.png";
    const QByteArray placeholder(R"({"vw_placeholder_image":"/brand/none.png"})");
    QTest::newRow("placeholder serves the video area") << placeholder << "vw_placeholder" << "file:///brand/none.png";
    QTest::newRow("placeholder serves the cells") << placeholder << "tx_placeholder" << "file:///brand/none.png";
    QTest::newRow("demo video as written") << QByteArray(R"({"demo_video":"C:\\v\\demo.avi"})") << "demoVideo"
                                           << "C:\\v\\demo.avi";
    QTest::newRow("icon as written") << QByteArray(R"({"icon_image":"brand/icon.png"})") << "icon"
                                     << "brand/icon.png";
}

void TestOemSetting::branding()
{
    QFETCH(QByteArray, custom);
    QFETCH(QString, property);
    QFETCH(QString, expected);
    QFile::remove(customPath());
    if (!custom.isEmpty()) {
        QFile file(customPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(custom);
    }
    OemSetting oem;
    QCOMPARE(oem.property(property.toLatin1().constData()).toString(), expected);
    QVERIFY(!custom.isEmpty() || !QFile::exists(customPath()));
}

QTEST_GUILESS_MAIN(TestOemSetting)
#include "tst_oem_setting.moc"
