#include "qimagegrabber/qimage_grabber.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// The smallest grabber: exposes the protected helpers the concrete grabbers use.
class ProbeGrabber : public QImageGrabber
{
public:
    QString grabberName() const override { return QStringLiteral("probe"); }
    bool startGrabbing() override { return true; }
    void stopGrabbing() override {}
    void setRequestedFps(double) override {}
    void setSource(const QString &) override {}
    QString source() const override { return QString(); }
    QString defaultSource() const override { return QString(); }
    void newImageTimeOut() override {}
    using QImageGrabber::calculateFPS;
    using QImageGrabber::setState;
};

} // namespace

class TestQImageGrabber : public QObject
{
    Q_OBJECT

private slots:
    void frameRateHistory_data();
    void frameRateHistory();
    void stateSignalsOnlyOnChange();
    void startsStoppedWithItsOwnImage();
};

void TestQImageGrabber::frameRateHistory_data()
{
    QTest::addColumn<QList<int>>("intervals");
    QTest::addColumn<int>("expectedSignals");
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("average");

    QTest::newRow("steady 25 fps") << QList<int>{40, 40, 40} << 3 << 25.0 << 25.0;
    QTest::newRow("one slow frame") << QList<int>{40, 40, 40, 80} << 4 << 12.5 << 20.0;
    QTest::newRow("zero interval is ignored") << QList<int>{40, 0} << 1 << 25.0 << 25.0;
    QTest::newRow("zero leaves history alone") << QList<int>{40, 0, 80} << 2 << 12.5 << 1000.0 / 60;
    QTest::newRow("65536 ms wraps to zero") << QList<int>{65536} << 0 << 0.0 << 0.0;
    QTest::newRow("65576 ms counts as 40") << QList<int>{65576} << 1 << 25.0 << 25.0;
    QList<int> full;
    for (int i = 0; i < 51; ++i)
        full << 20;
    QTest::newRow("51 frames fill the history") << full << 51 << 50.0 << 50.0;
    QList<int> rolled;
    for (int i = 0; i < 50; ++i)
        rolled << 100;
    rolled << 50;
    // the oldest 100 ms slot is replaced: (49 * 100 + 50) / 50 = 99 ms
    QTest::newRow("oldest interval drops out") << rolled << 51 << 20.0 << 1000.0 / 99;
}

void TestQImageGrabber::frameRateHistory()
{
    QFETCH(QList<int>, intervals);
    QFETCH(int, expectedSignals);
    QFETCH(double, current);
    QFETCH(double, average);

    ProbeGrabber grabber;
    QSignalSpy spy(&grabber, &QImageGrabber::newFPSCalculated);
    for (int interval : intervals)
        grabber.calculateFPS(interval);
    QCOMPARE(spy.count(), expectedSignals);
    if (expectedSignals > 0) {
        QCOMPARE(spy.last().at(0).toDouble(), current);
        QVERIFY(qFuzzyCompare(spy.last().at(1).toDouble(), average));
    }
}

void TestQImageGrabber::stateSignalsOnlyOnChange()
{
    ProbeGrabber grabber;
    QSignalSpy spy(&grabber, &QImageGrabber::stateChanged);
    grabber.setState(QImageGrabber::Stopped);
    QCOMPARE(spy.count(), 0);
    grabber.setState(QImageGrabber::Grabbing);
    grabber.setState(QImageGrabber::Grabbing);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QImageGrabber::GrabbingState>(), QImageGrabber::Grabbing);
    QVERIFY(grabber.isGrabbing());
    grabber.setState(QImageGrabber::Error);
    QCOMPARE(int(grabber.state()), 4);
    QVERIFY(!grabber.isGrabbing());
}

void TestQImageGrabber::startsStoppedWithItsOwnImage()
{
    ProbeGrabber grabber;
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(grabber.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(TestQImageGrabber)
#include "tst_qimage_grabber.moc"
