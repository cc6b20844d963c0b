#include "health/device_health.h"

#include <QDateTime>
#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {
QJsonValue isoTime(qint64 ms)
{
    if (ms <= 0)
        return QJsonValue();
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

quint32 saturated(quint64 value)
{
    return quint32(std::min<quint64>(value, 0xffffffffu));
}
} // namespace

DeviceHealth::DeviceHealth(const QString &kind, bool online, qint64 now)
    : deviceKind(kind)
    , isOnline(online)
    , changedAt(now)
    , accountedTo(now)
    , newestSlot(now / SLOT_MS)
{
    if (!online) {
        outageRing[0] = {now, 0};
        outageCount = 1;
    }
}

void DeviceHealth::setOnline(bool online, qint64 now)
{
    advance(now);
    if (online == isOnline)
        return;
    isOnline = online;
    changedAt = now;
    if (!online) {
        ++wentOffline;
        outageRing[outageCount % OUTAGES] = {now, 0};
        ++outageCount;
    } else if (outageCount > 0) {
        outageRing[(outageCount - 1) % OUTAGES].end = now;
    }
}

void DeviceHealth::setLink(const QString &state, bool up, int reconnections)
{
    linkState = state;
    linkUp = up;
    linkReconnections = reconnections;
}

void DeviceHealth::commandAnswered(int roundTripMs, qint64 now)
{
    advance(now);
    lastCommand = now;
    const quint32 rtt = quint32(std::max(0, roundTripMs));
    rtts[rttCount % RTT_SAMPLES] = rtt;
    ++rttCount;
    // The ring's index would overflow after two billion answers; it only has to stay past a full ring.
    if (rttCount >= 2 * RTT_SAMPLES)
        rttCount -= RTT_SAMPLES;
    size_t bucket = 0;
    while (bucket < RTT_BOUNDS_MS.size() && int(rtt) > RTT_BOUNDS_MS[bucket])
        ++bucket;
    for (size_t i = bucket; i < rttBuckets.size(); ++i)
        ++rttBuckets[i];
    rttTotalMs += rtt;
    Slot &slot = slotAt(now / SLOT_MS);
    slot.rttSumMs = saturated(quint64(slot.rttSumMs) + rtt);
    if (slot.rttCount < 0xffff)
        ++slot.rttCount;
}

void DeviceHealth::commandFailed(bool wasRefused, qint64 now)
{
    advance(now);
    if (wasRefused)
        ++refused;
    else
        ++failed;
    Slot &slot = slotAt(now / SLOT_MS);
    if (slot.failures < 0xffff)
        ++slot.failures;
}

void DeviceHealth::setPreview(double framesPerSecond, double share)
{
    fps = framesPerSecond;
    decodedShare = share;
}

DeviceHealth::Slot &DeviceHealth::slotAt(qint64 slotIndex)
{
    if (slotIndex > newestSlot) {
        // Slots the clock has passed over are emptied for their new day; a jump of more
        // than a day empties them all once.
        const qint64 stale = std::min<qint64>(slotIndex - newestSlot, SLOTS);
        for (qint64 i = 1; i <= stale; ++i)
            dayRing[size_t((newestSlot + i) % SLOTS)] = Slot();
        newestSlot = slotIndex;
    }
    // A clock set back lands in a slot of the day that is kept; never outside the ring.
    if (slotIndex <= newestSlot - SLOTS)
        slotIndex = newestSlot;
    return dayRing[size_t(((slotIndex % SLOTS) + SLOTS) % SLOTS)];
}

void DeviceHealth::book(qint64 from, qint64 to)
{
    // Only the last day is kept: older time would land in dayRing that are emptied anyway.
    from = std::max(from, to - WINDOW_MS);
    while (from < to) {
        const qint64 index = from / SLOT_MS;
        const qint64 end = std::min(to, (index + 1) * SLOT_MS);
        Slot &slot = slotAt(index);
        const quint32 span = quint32(end - from);
        slot.observedMs += span;
        if (isOnline)
            slot.onlineMs += span;
        from = end;
    }
}

void DeviceHealth::advance(qint64 now)
{
    if (now > accountedTo)
        book(accountedTo, now);
    // A clock set back is not booked twice; the record carries on from the new time.
    accountedTo = now;
    slotAt(now / SLOT_MS);
}

double DeviceHealth::availability(qint64 now)
{
    advance(now);
    quint64 online = 0;
    quint64 observed = 0;
    for (const Slot &slot : dayRing) {
        online += slot.onlineMs;
        observed += slot.observedMs;
    }
    if (observed == 0)
        return isOnline ? 1.0 : 0.0;
    return double(online) / double(observed);
}

int DeviceHealth::rttPercentile(int percent) const
{
    const int count = std::min(rttCount, RTT_SAMPLES);
    if (count == 0)
        return -1;
    std::array<quint32, RTT_SAMPLES> sorted = rtts;
    std::sort(sorted.begin(), sorted.begin() + count);
    // Nearest rank: the smallest sample that at least percent of the samples do not exceed.
    const int rank = int(std::ceil(percent / 100.0 * count));
    return int(sorted[size_t(std::clamp(rank, 1, count) - 1)]);
}

QVector<double> DeviceHealth::availabilityTimeline(qint64 now)
{
    advance(now);
    QVector<double> timeline;
    timeline.reserve(SLOTS);
    for (qint64 index = newestSlot - SLOTS + 1; index <= newestSlot; ++index) {
        const Slot &slot = dayRing[size_t(((index % SLOTS) + SLOTS) % SLOTS)];
        timeline.append(slot.observedMs ? double(slot.onlineMs) / slot.observedMs : -1.0);
    }
    return timeline;
}

QVector<int> DeviceHealth::rttTimeline(qint64 now)
{
    advance(now);
    QVector<int> timeline;
    timeline.reserve(SLOTS);
    for (qint64 index = newestSlot - SLOTS + 1; index <= newestSlot; ++index) {
        const Slot &slot = dayRing[size_t(((index % SLOTS) + SLOTS) % SLOTS)];
        timeline.append(slot.rttCount ? int(slot.rttSumMs / slot.rttCount) : -1);
    }
    return timeline;
}

QVector<DeviceHealth::Outage> DeviceHealth::outages(qint64 now) const
{
    QVector<Outage> list;
    const int kept = std::min(outageCount, OUTAGES);
    for (int i = outageCount - kept; i < outageCount; ++i) {
        const Outage &outage = outageRing[size_t(i % OUTAGES)];
        if (outage.end == 0 || outage.end > now - WINDOW_MS)
            list.append(outage);
    }
    return list;
}

QJsonObject DeviceHealth::toJson(qint64 now)
{
    const double available = availability(now);
    QJsonArray outageList;
    for (const Outage &outage : outages(now)) {
        const qint64 end = outage.end ? outage.end : now;
        outageList.append(
            QJsonObject {{QStringLiteral("start"), isoTime(outage.start)}, {QStringLiteral("end"), isoTime(outage.end)},
                {QStringLiteral("seconds"), double(end - outage.start) / 1000.0}});
    }
    QJsonObject json {{QStringLiteral("kind"), deviceKind}, {QStringLiteral("online"), isOnline},
        {QStringLiteral("since"), isoTime(changedAt)}, {QStringLiteral("last_answer"), isoTime(lastAnswer)},
        {QStringLiteral("availability"), std::round(available * 10000.0) / 10000.0},
        {QStringLiteral("offline_transitions"), wentOffline}, {QStringLiteral("outages"), outageList},
        {QStringLiteral("drift_events"), driftEvents}};
    if (deviceKind == QLatin1String("decoder")) {
        const auto orNull = [](int value) { return value < 0 ? QJsonValue() : QJsonValue(value); };
        json.insert(QStringLiteral("link"),
            QJsonObject {{QStringLiteral("state"), linkState}, {QStringLiteral("up"), linkUp},
                {QStringLiteral("reconnections"), linkReconnections}});
        json.insert(QStringLiteral("commands"),
            QJsonObject {{QStringLiteral("answered"), double(rttBuckets.back())},
                {QStringLiteral("failed"), double(failed)}, {QStringLiteral("refused"), double(refused)},
                {QStringLiteral("last"), isoTime(lastCommand)},
                {QStringLiteral("rtt_median_ms"), orNull(rttPercentile(50))},
                {QStringLiteral("rtt_p95_ms"), orNull(rttPercentile(95))}});
    } else {
        const auto orNull
            = [](double value) { return value < 0 ? QJsonValue() : QJsonValue(std::round(value * 100.0) / 100.0); };
        json.insert(QStringLiteral("preview"),
            QJsonObject {
                {QStringLiteral("fps"), orNull(fps)}, {QStringLiteral("decoded_share"), orNull(decodedShare)}});
    }
    return json;
}
