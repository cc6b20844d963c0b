#include "oem_setting.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QFile>
#include <QtTest>

class TestOemSetting : public QObject
{
    Q_OBJECT

    QString customPath() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/custom.json"); }

private slots:
    void cleanup() { QFile::remove(customPath()); }

    void branding_data()
    {
        QTest::addColumn<QByteArray>("custom"); // empty: no file at all
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("expected");

        const QByteArray none;
        const QString version = QStringLiteral(ZENTROVA_VERSION);
        QTest::newRow("default version is the program's") << none << "version" << version;
        QTest::newRow("default video placeholder") << none << "vw_placeholder"
                                                   << "qrc:/images/rxzone-no-source.png";
        QTest::newRow("default cell placeholder") << none << "tx_placeholder"
                                                  << "qrc:/images/txcell-no-source.png";
        QTest::newRow("name") << QByteArray(R"({"app_name":"Venue Control"})") << "name"
                              << "Venue Control";
        QTest::newRow("version text") << QByteArray(R"({"version":"2.0 beta"})") << "version"
                                      << "2.0 beta";
        QTest::newRow("empty version") << QByteArray(R"({"version":""})") << "version" << version;
        QTest::newRow("absolute splash") << QByteArray(R"({"splash_image":"/opt/b.png"})") << "splash"
                                         << "file:///opt/b.png";
        QTest::newRow("relative logo stays relative") << QByteArray(R"({"logo_image":"brand/logo.png"})") << "logo"
                                                      << "file:brand/logo.png";
        QTest::newRow("qrc splash") << QByteArray(R"({"splash_image":"qrc:/x.png"})") << "splash"
                                    << "qrc:/x.png";
        QTest::newRow("resource splash") << QByteArray(R"({"splash_image":":/x.png"})") << "splash"
                                         << ":/x.png";
        QTest::newRow("file url kept") << QByteArray("{\"logo_image\":\"file:///a%20b.png\"}") << "logo"
                                       << "file:///a%20b.png";
        const QByteArray placeholder(R"({"vw_placeholder_image":"/brand/none.png"})");
        QTest::newRow("placeholder serves the video area") << placeholder << "vw_placeholder"
                                                           << "file:///brand/none.png";
        QTest::newRow("placeholder serves the cells") << placeholder << "tx_placeholder"
                                                      << "file:///brand/none.png";
        // Neither is an image for the interface: the program opens them itself.
        QTest::newRow("demo video as written") << QByteArray(R"({"demo_video":"C:\\v\\demo.avi"})") << "demoVideo"
                                               << "C:\\v\\demo.avi";
        QTest::newRow("icon as written") << QByteArray(R"({"icon_image":"brand/icon.png"})") << "icon"
                                         << "brand/icon.png";
    }

    void branding()
    {
        QFETCH(QByteArray, custom);
        QFETCH(QString, property);
        QFETCH(QString, expected);
        QFile::remove(customPath());
        if (!custom.isEmpty())
            QVERIFY(writeFile(customPath(), custom));
        OemSetting oem;
        QCOMPARE(oem.property(property.toLatin1().constData()).toString(), expected);
        QVERIFY(!custom.isEmpty() || !QFile::exists(customPath()));
    }
};

QTEST_GUILESS_MAIN(TestOemSetting)
#include "tst_oem_setting.moc"
