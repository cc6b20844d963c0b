#include "qimagegrabber/jpeg_decoder.h"
#include "test_mjpeg.h"

#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 CAP = 4096 * 4096;

QImage readWithQt(const QByteArray &jpeg, const QSize &scaledSize = QSize())
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "JPG");
    if (scaledSize.isValid())
        reader.setScaledSize(scaledSize);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestJpegDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodesLikeTheToolkitsReader_data();
    void decodesLikeTheToolkitsReader();
    void picksTheSmallestScaleThatCovers_data();
    void picksTheSmallestScaleThatCovers();
    void refusesWhatIsNoImage_data();
    void refusesWhatIsNoImage();

private:
    QTemporaryDir dir;
};

void TestJpegDecoder::initTestCase()
{
    // Frames as encoders make them (4:2:0, as ffmpeg's MJPEG encoder writes), one at a size
    // whose rows need padding, and a grey one.
    const QList<QStringList> encodes {
        {"-vf", "scale=1280:720", "-pix_fmt", "yuvj420p", "-q:v", "5", "wide.jpg"},
        {"-vf", "scale=333:197", "-pix_fmt", "yuvj422p", "-q:v", "3", "odd.jpg"},
        {"-vf", "scale=320:240,format=gray", "grey.jpg"},
    };
    for (const QStringList &encode : encodes) {
        QProcess ffmpeg;
        ffmpeg.setWorkingDirectory(dir.path());
        ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
        ffmpeg.start(QStringLiteral("ffmpeg"),
            QStringList {
                "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1280x720", "-frames:v", "1"}
                + encode);
        QVERIFY2(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0, "ffmpeg could not make the frames");
    }
}

void TestJpegDecoder::decodesLikeTheToolkitsReader_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("denominator");
    // The toolkit's reader decodes at the same reduced scales where they divide the sides
    // evenly, so the pictures must be the same, pixel for pixel.
    for (int denominator : {1, 2, 4, 8})
        QTest::addRow("wide at 1/%d", denominator) << "wide.jpg" << denominator;
    QTest::newRow("odd size") << "odd.jpg" << 1;
    QTest::newRow("grey at 1/8") << "grey.jpg" << 8;
}

void TestJpegDecoder::decodesLikeTheToolkitsReader()
{
    QFETCH(QString, file);
    QFETCH(int, denominator);
    QFile source(dir.filePath(file));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray jpeg = source.readAll();
    const QSize full = readWithQt(jpeg).size();
    const QSize shown = full / denominator;

    QImage decoded = JpegDecoder::decode(jpeg, shown, CAP);
    QCOMPARE(decoded.format(), QImage::Format_RGB32);
    QCOMPARE(decoded.size(), shown);
    // Compared with their fourth bytes, which the format requires to be 0xff.
    decoded.reinterpretAsFormat(QImage::Format_ARGB32);
    QCOMPARE(decoded, readWithQt(jpeg, shown).convertToFormat(QImage::Format_ARGB32));
}

void TestJpegDecoder::picksTheSmallestScaleThatCovers_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<int>("denominator");

    const QSize hd(1280, 720);
    QTest::newRow("one pixel wider than half") << hd << QSize(641, 360) << 1;
    QTest::newRow("exactly half") << hd << QSize(640, 360) << 2;
    QTest::newRow("a square view needs the height") << hd << QSize(200, 200) << 2;
    QTest::newRow("tiny") << hd << QSize(16, 9) << 8;
    QTest::newRow("larger than the image") << hd << QSize(1920, 1080) << 1;
    QTest::newRow("not told") << hd << JpegDecoder::FULL_SIZE << 1;
    // 1279 / 8 rounds up to 160, 719 / 8 to 90.
    QTest::newRow("sides rounded up") << QSize(1279, 719) << QSize(160, 90) << 8;
}

void TestJpegDecoder::picksTheSmallestScaleThatCovers()
{
    QFETCH(QSize, image);
    QFETCH(QSize, shown);
    QFETCH(int, denominator);
    QCOMPARE(JpegDecoder::scaleDenominator(image, shown), denominator);
    // The decoder agrees with the choice.
    const QImage decoded = JpegDecoder::decode(TestMjpeg::plain(Qt::red, image), shown, CAP);
    QCOMPARE(decoded.width(), (image.width() + denominator - 1) / denominator);
}

void TestJpegDecoder::refusesWhatIsNoImage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("cap");

    const QByteArray good = TestMjpeg::plain(Qt::blue, QSize(64, 64));
    QTest::newRow("nothing") << QByteArray() << CAP;
    QTest::newRow("not a JPEG") << QByteArray("GIF89a and more bytes") << CAP;
    QTest::newRow("header only") << good.left(good.indexOf("\xff\xda")) << CAP;
    QTest::newRow("20000 x 20000 claimed") << TestMjpeg::claimingSize(20000, 20000) << CAP;
    QTest::newRow("one pixel over a cap") << good << qint64(64 * 64 - 1);
}

void TestJpegDecoder::refusesWhatIsNoImage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, cap);
    QVERIFY(JpegDecoder::decode(bytes, JpegDecoder::FULL_SIZE, cap).isNull());
}

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "tst_jpeg_decoder.moc"
