#include "log_capture.h"
#include "qimagegrabber/mjpeg_frame_cutter.h"
#include "test_mjpeg.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QtTest>

namespace {

using TestMjpeg::blockHeader;

// Image payloads that carry framing look-alikes, so that a cutter that reads into the
// image bytes shows up as a wrong cut.
const QList<QByteArray> PAYLOADS = {
    QByteArray("\xff\xd8 first image\r\n\r\nContent-Length: 3\r\n--ffmpeg\r\n\xff\xd9"),
    QByteArray("\xff\xd8 mjpeg00000010 second\n\r\n\xff\xd9"),
    QByteArray(300, '\n') + "\r\n\xff\xd9",
};

// The payloads framed by framer, which is given each payload and what came before it.
QByteArray framed(const QByteArray &start, const std::function<QByteArray(const QByteArray &, bool)> &framer)
{
    QByteArray body = start;
    for (const QByteArray &payload : PAYLOADS)
        body += framer(payload, body.isEmpty());
    return body;
}

// Every image cut from body, in order.
QList<QByteArray> cutAll(MjpegFrameCutter &cutter, QByteArray body)
{
    QBuffer input(&body);
    input.open(QIODevice::ReadOnly);
    QList<QByteArray> images;
    while (cutter.cutImage(&input)) {
        images << QByteArray();
        cutter.takeNewestImage(images.last());
    }
    return images;
}

QList<QByteArray> cutAll(const QByteArray &body)
{
    MjpegFrameCutter cutter(1 << 20, 1 << 16);
    return cutAll(cutter, body);
}

} // namespace

class TestMjpegFrameCutter : public QObject
{
    Q_OBJECT

private slots:
    void cutsEachFraming_data();
    void cutsEachFraming();
    void contentLengthSpellings_data();
    void contentLengthSpellings();
    void partWithoutLengthReusesTheLastSize();
    void blockHeadersAreLoggedAndRealigned();
    void misalignedStreamLogsOnceAndCounts();
    void sizeCap_data();
    void sizeCap();
};

void TestMjpegFrameCutter::cutsEachFraming_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("framing");
    const auto length = [](const QByteArray &payload) { return QByteArray::number(payload.size()); };
    // What ffmpeg's mpjpeg muxer puts on the wire: a boundary, then per image its part
    // headers, the image, and a line break before the next boundary.
    QTest::newRow("multipart as ffmpeg sends it") << framed(
        "--ffmpeg\r\n", [](const QByteArray &payload, bool) -> QByteArray { return TestMjpeg::multipartPart(payload); })
                                                  << int(MjpegFrameCutter::Multipart);
    QTest::newRow("multipart without line break after the image") << framed(
        {}, [&](const QByteArray &payload, bool) -> QByteArray {
            return "--myboundary\r\nContent-Type: image/jpeg\r\nX-Timestamp: 1\r\nContent-Length: " + length(payload)
                + "\r\n\r\n" + payload;
        }) << int(MjpegFrameCutter::Multipart);
    QTest::newRow("multipart starting with the part headers") << framed(
        {}, [&](const QByteArray &payload, bool) -> QByteArray {
            return "Content-Length: " + length(payload) + "\r\n\r\n" + payload;
        }) << int(MjpegFrameCutter::Multipart);
    QTest::newRow("block framing") << framed({}, [](const QByteArray &payload, bool first) -> QByteArray {
        return blockHeader(payload.size(), first ? 50 : 51) + payload;
    }) << int(MjpegFrameCutter::Block);
}

void TestMjpegFrameCutter::cutsEachFraming()
{
    QFETCH(QByteArray, body);
    QFETCH(int, framing);
    MjpegFrameCutter whole(1 << 20, 1 << 16);
    QCOMPARE(cutAll(whole, body), PAYLOADS);
    QCOMPARE(int(whole.framing()), framing);
}

void TestMjpegFrameCutter::contentLengthSpellings_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("lower case") << QByteArray("content-length: 5");
    QTest::newRow("upper case") << QByteArray("CONTENT-LENGTH: 5");
    QTest::newRow("no space after the colon") << QByteArray("Content-Length:5");
    QTest::newRow("tab and trailing blanks") << QByteArray("Content-Length:\t 5  ");
    QTest::newRow("leading zeros") << QByteArray("Content-length: 0005");
}

void TestMjpegFrameCutter::contentLengthSpellings()
{
    QFETCH(QByteArray, line);
    const QByteArray part = "--x\r\n" + line + "\r\n\r\nABCDE";
    QCOMPARE(cutAll(part + part), (QList<QByteArray> {"ABCDE", "ABCDE"}));
}

void TestMjpegFrameCutter::partWithoutLengthReusesTheLastSize()
{
    const QByteArray body = "--x\r\nContent-Length: 4\r\n\r\nAAAA--x\r\nContent-Type: image/jpeg\r\n\r\nBBBB"
                            "--x\r\nContent-Length: zwei\r\n\r\n--x\r\nContent-Length: 2\r\n\r\nCC";
    QTest::ignoreMessage(QtWarningMsg, "Could not convert zwei to number");
    // An unreadable size counts as 0: that part is empty, and the stream goes on.
    QCOMPARE(cutAll(body), (QList<QByteArray> {"AAAA", "BBBB", "", "CC"}));
}

void TestMjpegFrameCutter::blockHeadersAreLoggedAndRealigned()
{
    const QByteArray body = blockHeader(3, 50) + "one" + QByteArray(51, 'x') + blockHeader(3, 51) + "two"
        + blockHeader(-1, 51) + blockHeader(5, 51) + "three";
    {
        LogCapture warnings(QtWarningMsg);
        QCOMPARE(cutAll(body), (QList<QByteArray> {"one", "two", "three"}));
        // Only the first header of a download is told; network bytes are escaped.
        QCOMPARE(warnings.messages(),
            (QStringList {"3 CI mjpeg00000003" + QString(36, ' ') + "\\x0a", "invalid border " + QString(51, 'x'),
                "Could not convert 000000-1 to number"}));
    }

    // A first header without a size goes straight on to the next header block.
    QTest::ignoreMessage(QtWarningMsg, "Could not convert mjpegabc to number");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^2 CI "));
    QCOMPARE(
        cutAll("mjpegmjpegabc" + QByteArray(36, ' ') + '\n' + blockHeader(2, 51) + "ok"), (QList<QByteArray> {"ok"}));
}

void TestMjpegFrameCutter::misalignedStreamLogsOnceAndCounts()
{
    // A mebibyte that is no header, with bytes that would play tricks on a terminal.
    const QByteArray junk = QByteArray("\x1b[2J\r\nFAKE LOG LINE\n").leftJustified(51, '\x7f').repeated(20560);
    MjpegFrameCutter cutter(1 << 20, 1 << 16);
    LogCapture warnings(QtWarningMsg);
    QCOMPARE(cutAll(cutter, blockHeader(3, 50) + "one" + junk + blockHeader(2, 51) + "ok"),
        (QList<QByteArray> {"one", "ok"}));
    const QStringList told = warnings.messages();
    QCOMPARE(told.size(), 3);
    QVERIFY2(told.at(1).startsWith("invalid border \\x1b[2J\\x0d\\x0aFAKE LOG LINE\\x0a\\x7f"), qPrintable(told.at(1)));
    QCOMPARE(told.at(2), QStringLiteral("20559 more invalid borders skipped"));

    // Out of step when the download ends: the count is told when the next one starts.
    cutAll(cutter, junk.left(51 * 3));
    cutter.restart();
    QCOMPARE(warnings.messages().mid(3),
        (QStringList {"invalid border " + told.at(1).mid(15), "2 more invalid borders skipped"}));
}

void TestMjpegFrameCutter::sizeCap_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<int>("images");
    const QByteArray start = "--boundary-long-enough-to-be-read-as-a-first-line\r\n";
    const QByteArray atCap(64, 'j');
    QTest::newRow("part at the cap") << start + "Content-Length: 64\r\n\r\n" + atCap << false << 1;
    QTest::newRow("part above the cap") << start + "Content-Length: 65\r\n\r\n" + atCap << true << 0;
    QTest::newRow("gigabytes announced") << start + "Content-Length: 4294967296\r\n\r\n" << true << 0;
    QTest::newRow("block above the cap") << blockHeader(65, 50) + atCap + 'j' << true << 0;
    QTest::newRow("unfinished header line at its cap") << start + "X-Padding: " + QByteArray(21, 'p') << false << 0;
    QTest::newRow("header line that never ends") << start + "X-Padding: " + QByteArray(22, 'p') << true << 0;
    QTest::newRow("long header line that ends") << start + "X-Padding: " + QByteArray(60, 'p') + "\r\n" << false << 0;
}

void TestMjpegFrameCutter::sizeCap()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, overflows);
    QFETCH(int, images);

    // Images up to 64 bytes, unfinished header lines up to 32.
    MjpegFrameCutter cutter(64, 32);
    if (body.startsWith("mjpeg"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^65 CI "));
    QCOMPARE(cutAll(cutter, body).size(), images);
    QCOMPARE(cutter.overflowed(), overflows);
    if (!overflows)
        return;
    // Nothing more is cut from an overflowed stream until the next download.
    const QByteArray good = "--boundary-long-enough-to-be-read-as-a-first-line\r\nContent-Length: 2\r\n\r\nok";
    QVERIFY(cutAll(cutter, good).isEmpty());
    cutter.restart();
    QCOMPARE(cutAll(cutter, good), QList<QByteArray> {"ok"});
}

QTEST_GUILESS_MAIN(TestMjpegFrameCutter)
#include "tst_mjpeg_frame_cutter.moc"
