#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <array>

// What the controller has seen of one encoder or decoder over the last day, in a fixed
// amount of memory: it is kept for every device of the installation, so a device that flaps
// all day costs no more than a quiet one. Times are milliseconds since the epoch, handed in
// by the caller, so that a day can be played through in a test.
class DeviceHealth
{
public:
    // The day is kept in slots; the timeline shows one mark per slot.
    static constexpr qint64 SLOT_MS = 15 * 60 * 1000;
    static constexpr int SLOTS = 96;
    static constexpr qint64 WINDOW_MS = SLOT_MS * SLOTS;
    // Round trips the median and the 95th percentile are taken over.
    static constexpr int RTT_SAMPLES = 128;
    // Outages remembered with their start and end; older ones count only in the slots.
    static constexpr int OUTAGES = 32;
    // Upper bounds of the round-trip histogram, in milliseconds; a last one takes the rest.
    static constexpr std::array<int, 11> RTT_BOUNDS_MS {10, 25, 50, 100, 250, 500, 1000, 2500, 5000, 10000, 30000};

    struct Slot
    {
        quint32 onlineMs = 0;
        quint32 observedMs = 0;
        quint32 rttSumMs = 0;
        quint16 rttCount = 0;
        quint16 failures = 0;
    };
    struct Outage
    {
        qint64 start = 0;
        // 0 while it lasts.
        qint64 end = 0;
    };

    DeviceHealth() = default;
    DeviceHealth(const QString &kind, bool online, qint64 now);

    QString kind() const { return deviceKind; }
    bool online() const { return isOnline; }
    qint64 since() const { return changedAt; }

    void setOnline(bool online, qint64 now);
    void answered(qint64 now) { lastAnswer = now; }
    void setLink(const QString &state, bool up, int reconnections);
    void commandAnswered(int roundTripMs, qint64 now);
    void commandFailed(bool refused, qint64 now);
    void drifted() { ++driftEvents; }
    void setPreview(double framesPerSecond, double decodedShare);

    // Books the time up to now to the slots; every query below does it first.
    void advance(qint64 now);

    // Share of the observed time of the last day the device was online; -1 before any.
    double availability(qint64 now);
    // Milliseconds; -1 without any round trip yet.
    int rttPercentile(int percent) const;
    int offlineTransitions() const { return wentOffline; }
    quint64 failedCommands() const { return failed; }
    quint64 refusedCommands() const { return refused; }
    int drifts() const { return driftEvents; }
    int reconnections() const { return linkReconnections; }
    // Cumulative counts per bound of RTT_BOUNDS_MS and the total, sum in milliseconds.
    const std::array<quint64, RTT_BOUNDS_MS.size() + 1> &rttHistogram() const { return rttBuckets; }
    quint64 rttSumMs() const { return rttTotalMs; }
    double previewFps() const { return fps; }
    double previewDecodedShare() const { return decodedShare; }

    // The day's slots, oldest first: availability 0..1 (-1 where not observed) and the mean
    // round trip in milliseconds (-1 where none).
    QVector<double> availabilityTimeline(qint64 now);
    QVector<int> rttTimeline(qint64 now);
    // Outages that overlap the last day, oldest first.
    QVector<Outage> outages(qint64 now) const;

    // For the API: everything above, times as ISO 8601 in UTC.
    QJsonObject toJson(qint64 now);

private:
    Slot &slotAt(qint64 slotIndex);
    void book(qint64 from, qint64 to);

    QString deviceKind;
    bool isOnline = false;
    qint64 changedAt = 0;
    qint64 accountedTo = 0;
    qint64 lastAnswer = 0;
    qint64 lastCommand = 0;
    std::array<Slot, SLOTS> dayRing {};
    // The slot index (time / SLOT_MS) the newest slot holds.
    qint64 newestSlot = 0;
    std::array<Outage, OUTAGES> outageRing {};
    int outageCount = 0;
    int wentOffline = 0;
    std::array<quint32, RTT_SAMPLES> rtts {};
    int rttCount = 0;
    std::array<quint64, RTT_BOUNDS_MS.size() + 1> rttBuckets {};
    quint64 rttTotalMs = 0;
    quint64 failed = 0;
    quint64 refused = 0;
    int driftEvents = 0;
    QString linkState;
    bool linkUp = false;
    int linkReconnections = 0;
    double fps = -1;
    double decodedShare = -1;
};
