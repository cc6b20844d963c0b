#include "qimagegrabber/jpeg_decoder.h"
#include "test_mjpeg.h"

#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 CAP = 4096 * 4096;

// The mean difference of the colour channels of two images of the same size.
double meanDifference(const QImage &a, const QImage &b)
{
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *rowA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *rowB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            sum += qAbs(qRed(rowA[x]) - qRed(rowB[x])) + qAbs(qGreen(rowA[x]) - qGreen(rowB[x]))
                + qAbs(qBlue(rowA[x]) - qBlue(rowB[x]));
        }
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

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
    // Frames as encoders make them (4:2:0, as ffmpeg's MJPEG encoder writes), at a size that
    // no scale divides evenly, and a grey one.
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
    QTest::addColumn<double>("tolerance"); // mean difference per colour channel
    for (const char *file : {"wide.jpg", "odd.jpg", "grey.jpg"}) {
        for (int denominator : {1, 2, 4, 8}) {
            // Where the scale divides the sides evenly, the toolkit's reader uses the same
            // reduced decode; elsewhere it scales, and the pictures shift by a part of a block.
            const bool exact = strcmp(file, "odd.jpg") != 0 || denominator == 1;
            QTest::addRow("%s at 1/%d", file, denominator)
                << QString::fromLatin1(file) << denominator << (exact ? 0.0 : 16.0);
        }
    }
}

void TestJpegDecoder::decodesLikeTheToolkitsReader()
{
    QFETCH(QString, file);
    QFETCH(int, denominator);
    QFETCH(double, tolerance);
    QFile source(dir.filePath(file));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray jpeg = source.readAll();
    const QSize full = readWithQt(jpeg).size();
    const QSize expected(
        (full.width() + denominator - 1) / denominator, (full.height() + denominator - 1) / denominator);

    const QImage decoded = JpegDecoder::decode(jpeg, expected, CAP);
    QCOMPARE(decoded.format(), QImage::Format_RGB32);
    QCOMPARE(decoded.size(), expected);
    // The fourth byte of every pixel is defined, as the format requires.
    for (int y = 0; y < decoded.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(decoded.constScanLine(y));
        for (int x = 0; x < decoded.width(); ++x)
            QVERIFY2(qAlpha(row[x]) == 0xff, qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
    }
    const QImage qtScaled = readWithQt(jpeg, expected);
    if (tolerance == 0) {
        QCOMPARE(decoded, qtScaled);
        return;
    }
    const double difference = meanDifference(decoded, qtScaled);
    QVERIFY2(difference <= tolerance, qPrintable(QString::number(difference)));
}

void TestJpegDecoder::picksTheSmallestScaleThatCovers_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<int>("denominator");

    const QSize hd(1280, 720);
    QTest::newRow("the large video area") << hd << hd << 1;
    QTest::newRow("one pixel wider than half") << hd << QSize(641, 360) << 1;
    QTest::newRow("exactly half") << hd << QSize(640, 360) << 2;
    QTest::newRow("thumbnail") << hd << QSize(318, 178) << 4;
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
