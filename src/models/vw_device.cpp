#include "models/vw_device.h"

#include "models/rx_device.h"

#include <QJsonArray>
#include <QtEndian>
#include <algorithm>

namespace {

constexpr int WALL_RECORD_SIZE = 296;
const char *const WALL_RECORD_NAME = "VW";

// Every wall shares one made-up discovery record; walls never answer discovery.
DeviceDiscoveryResponsePtr wallRecord()
{
    static const DeviceDiscoveryResponsePtr record = [] {
        QByteArray raw(WALL_RECORD_SIZE, '\0');
        qToLittleEndian<quint32>(1, raw.data());
        qToLittleEndian<quint32>(4, raw.data() + 4);
        raw.replace(DISCOVERY_NAME_OFFSET, int(qstrlen(WALL_RECORD_NAME)), WALL_RECORD_NAME);
        return DeviceDiscoveryResponse::parse(raw, QHostAddress(), 0);
    }();
    return record;
}

} // namespace

VWDevice::VWDevice(const QString &name, const QString &displayName, int width, int height, const QString &source,
    const QStringList &initialCells, QObject *parent)
    : RxDeviceBase(wallRecord(), name, name, displayName, parent)
    , vwSize(VwInfo::normalised(width, height, 0, 0))
    , cells(initialCells.mid(0, vwSize.columns * vwSize.rows))
    , boundMembers(vwSize.columns * vwSize.rows)
{
    while (cells.size() < boundMembers.size())
        cells.append(QString());
    setIntendedSource(source);
    setCurrentSource(source);
}

QString VWDevice::category() const
{
    return QStringLiteral("vw");
}

bool VWDevice::bind(const RxDevicePtr &decoder)
{
    if (!decoder)
        return false;
    int cell = cells.indexOf(decoder->name());
    if (cell < 0) {
        const VwInfo place = decoder->vwInfo();
        if (place.isStandAlone() || place.size() != size())
            return false;
        // A position outside the decoder's own grid would land on another tile's cell.
        if (place.column < 0 || place.column >= place.columns || place.row < 0 || place.row >= place.rows)
            return false;
        cell = place.columns * place.row + place.column;
        if (!cells.at(cell).isEmpty())
            return false;
        cells[cell] = decoder->name();
    }
    if (boundMembers.at(cell) != decoder) {
        boundMembers[cell] = decoder;
        connect(decoder.data(), &RxDeviceBase::routeStateChanged, this, &VWDevice::followMembers);
    }
    followMembers();
    return true;
}

VwInfo VWDevice::placeOf(const RxDevice &decoder) const
{
    const int cell = cells.indexOf(decoder.name());
    if (cell < 0)
        return VwInfo::standAlone();
    return VwInfo {vwSize.columns, vwSize.rows, cell % vwSize.columns, cell / vwSize.columns};
}

void VWDevice::followMembers()
{
    if (forwarding)
        return;
    QStringList shown;
    forEachMember([&](const RxDevice &member) {
        if (!shown.contains(member.currentSource()))
            shown << member.currentSource();
    });
    const bool disagree = shown.size() > 1;
    if (shown.size() == 1)
        setCurrentSource(shown.first());
    else if (disagree)
        setCurrentSource(QString());
    if (disagree != isMixed) {
        isMixed = disagree;
        emit routeStateChanged();
    }
}

QVector<RxDevicePtr> VWDevice::releaseMembers()
{
    forEachMember([this](RxDevice &member) {
        disconnect(&member, nullptr, this, nullptr);
        member.resetVw();
    });
    return boundMembers;
}

int VWDevice::boundCount() const
{
    return int(boundMembers.size() - boundMembers.count(nullptr));
}

QString VWDevice::onlineStatusText() const
{
    QStringList states;
    for (const RxDevicePtr &member : boundMembers)
        states.append(member && member->online() ? QStringLiteral("1") : QStringLiteral("0"));
    return states.join(QLatin1Char(','));
}

QJsonObject VWDevice::toJson() const
{
    return QJsonObject {{QStringLiteral("name"), name()}, {QStringLiteral("width"), vwSize.columns},
        {QStringLiteral("height"), vwSize.rows}, {QStringLiteral("bind"), intendedSource()},
        {QStringLiteral("devices"), QJsonArray::fromStringList(cells)}};
}

bool VWDevice::containsName(const QString &name) const
{
    return findMember(name) != nullptr;
}

bool VWDevice::containsAlias(const QString &alias) const
{
    bool found = false;
    forEachMember(
        [&](const RxDevice &member) { found = found || member.nameAlias().compare(alias, Qt::CaseInsensitive) == 0; });
    return found;
}

void VWDevice::collectNames(QStringList &out) const
{
    forEachMember([&](const RxDevice &member) { out.append(member.name()); });
}

DeviceBasePtr VWDevice::findMember(const QString &name) const
{
    for (const RxDevicePtr &member : boundMembers) {
        if (member && member->name().compare(name, Qt::CaseInsensitive) == 0)
            return member;
    }
    return nullptr;
}

void VWDevice::offlineCounterIncrease()
{
    // The wall itself never goes offline; its cells report their decoders' state.
    forEachMember([](RxDevice &member) { member.offlineCounterIncrease(); });
}

void VWDevice::setSource(const QString &sourceName)
{
    if (!acceptsSource(sourceName))
        return;
    setIntendedSource(sourceName);
    // Members change one after the other; the wall is not mixed in between.
    forwarding = true;
    forEachMember([&](RxDevice &member) { member.setSource(sourceName); });
    forwarding = false;
    setCurrentSource(sourceName);
    followMembers();
}

void VWDevice::setDisplayPower(bool on, const QString &customCommand)
{
    forEachMember([&](RxDevice &member) { member.setDisplayPower(on, customCommand); });
}

void VWDevice::showOsdSeq()
{
    forEachMember([](RxDevice &member) { member.showOsdSeq(); });
}

void VWDevice::hideOsd()
{
    forEachMember([](RxDevice &member) { member.hideOsd(); });
}
