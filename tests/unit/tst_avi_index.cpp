#include "avi_fixture.h"
#include "qimagegrabber/avi_format.h"
#include "qimagegrabber/avi_index.h"

#include <QtTest>

namespace {

// Where the first stream header sits in the files AviWriter makes.
constexpr qint64 STREAM_HEADER_POS
    = avi::MAIN_HEADER_POS + avi::MAIN_HEADER_SIZE + avi::STREAM_HEADER_AFTER_MAIN_HEADER;

QByteArray replaced(QByteArray data, qint64 pos, const QByteArray &bytes)
{
    data.replace(int(pos), bytes.size(), bytes);
    return data;
}

QByteArray withU32(QByteArray data, qint64 pos, quint32 value)
{
    AviFixture::putU32(data, pos, value);
    return data;
}

QByteArray cutAt(QByteArray data, qint64 size)
{
    data.truncate(int(size));
    AviFixture::putU32(data, avi::RIFF_SIZE_POS, quint32(size - avi::CHUNK_HEADER_SIZE));
    return data;
}

} // namespace

class TestAviIndex : public QObject
{
    Q_OBJECT

private slots:
    void refusesMalformedFiles_data();
    void refusesMalformedFiles();
    void passesOverBadEntries_data();
    void passesOverBadEntries();
};

void TestAviIndex::refusesMalformedFiles_data()
{
    QTest::addColumn<QByteArray>("data");

    const QByteArray good = AviFixture::clip(3);
    QVERIFY(AviIndex::parse(good));
    const qint64 moviePos = good.indexOf(avi::MOVIE_LIST);
    const qint64 indexPos = good.indexOf(avi::INDEX_ID);

    QTest::newRow("RIFF tag alone") << QByteArrayLiteral("RIFF");
    QTest::newRow("not RIFF") << replaced(good, 0, "RIFX");
    QTest::newRow("truncated by one byte") << good.left(good.size() - 1);
    QTest::newRow("padded by one byte") << good + '\0';
    QTest::newRow("header cut inside avih") << cutAt(good, avi::MICROSECONDS_PER_FRAME_POS + 2);
    QTest::newRow("no avih") << replaced(good, avi::MAIN_HEADER_POS, "AVIH");
    QTest::newRow("avih size beyond the file") << withU32(good, avi::MAIN_HEADER_SIZE_POS, 0xFFFFFFF0);
    QTest::newRow("avih size misses strh") << withU32(good, avi::MAIN_HEADER_SIZE_POS, avi::MAIN_HEADER_SIZE + 4);
    QTest::newRow("header cut inside strh") << cutAt(good, STREAM_HEADER_POS + avi::STREAM_HANDLER_OFFSET + 2);
    QTest::newRow("audio stream first") << replaced(good, STREAM_HEADER_POS + avi::STREAM_TYPE_OFFSET, "auds");
    QTest::newRow("other video codec") << replaced(good, STREAM_HEADER_POS + avi::STREAM_HANDLER_OFFSET, "H264");
    QTest::newRow("no movie list") << replaced(good, moviePos, "MOVI");
    QTest::newRow("no movie list, LIST at the very end")
        << cutAt(replaced(good, moviePos, "MOVI") + "LIST", good.size() + 4);
    QTest::newRow("no idx1") << replaced(good, indexPos, "IDX1");
    QTest::newRow("file ends inside idx1 header") << cutAt(good, indexPos + 6);
    QTest::newRow("idx1 size beyond the file") << withU32(good, indexPos + avi::FOURCC_SIZE, 0x7FFFFFF0);
    QTest::newRow("idx1 one entry too long") << withU32(good, indexPos + avi::FOURCC_SIZE, 4 * avi::INDEX_ENTRY_SIZE);
}

void TestAviIndex::refusesMalformedFiles()
{
    QFETCH(QByteArray, data);
    QVERIFY(!AviIndex::parse(data));
}

void TestAviIndex::passesOverBadEntries_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("badEntry");

    const QByteArray good = AviFixture::clip(3);
    const qint64 offsetField = AviFixture::indexEntryPos(good, 1) + avi::INDEX_ENTRY_OFFSET_POS;
    const qint64 moviePos = good.indexOf(avi::MOVIE_LIST);
    const qint64 chunkPos = moviePos + AviFixture::u32(good, offsetField);
    const quint32 pastTheEnd = quint32(good.size() - chunkPos - avi::CHUNK_HEADER_SIZE + 1);

    QTest::newRow("offset far beyond the file") << withU32(good, offsetField, 0xFFFFFFF0) << 1;
    QTest::newRow("chunk header past the end") << withU32(good, offsetField, quint32(good.size() - moviePos - 4)) << 1;
    QTest::newRow("chunk size past the end") << withU32(good, chunkPos + avi::FOURCC_SIZE, 0x7FFFFFFF) << 1;
    QTest::newRow("chunk size one byte too long") << withU32(good, chunkPos + avi::FOURCC_SIZE, pastTheEnd) << 1;
    QTest::newRow("audio chunk") << replaced(good, chunkPos, "01wb") << 1;
    QTest::newRow("uncompressed frame") << replaced(good, chunkPos, "00db") << 1;
    QTest::newRow("entry before the first") << good << -1;
    QTest::newRow("entry after the last") << good << 3;
}

void TestAviIndex::passesOverBadEntries()
{
    QFETCH(QByteArray, data);
    QFETCH(int, badEntry);

    const auto index = AviIndex::parse(data);
    QVERIFY(index);
    QCOMPARE(index->entryCount(), 3);
    QByteArray jpeg = "untouched";
    QVERIFY(!index->videoFrame(badEntry, &jpeg));
    QCOMPARE(jpeg, QByteArrayLiteral("untouched"));
    // The neighbours still play.
    for (int entry : {0, 2}) {
        QVERIFY(index->videoFrame(entry, &jpeg));
        QCOMPARE(QImage::fromData(jpeg).width(), AviFixture::frameWidth(entry));
    }
}

QTEST_GUILESS_MAIN(TestAviIndex)
#include "tst_avi_index.moc"
