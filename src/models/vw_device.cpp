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
    const int named = cells.indexOf(decoder->name());
    if (named >= 0) {
        boundMembers[named] = decoder;
        return true;
    }
    const VwInfo place = decoder->vwInfo();
    if (place.isStandAlone() || place.size() != size())
        return false;
    // A position outside the decoder's own grid would land on another tile's cell.
    if (place.column < 0 || place.column >= place.columns || place.row < 0 || place.row >= place.rows)
        return false;
    const int cell = place.columns * place.row + place.column;
    if (!cells.at(cell).isEmpty())
        return false;
    boundMembers[cell] = decoder;
    cells[cell] = decoder->name();
    return true;
}

QVector<RxDevicePtr> VWDevice::releaseMembers()
{
    forEachMember([](RxDevice &member) { member.resetVw(); });
    return boundMembers;
}

int VWDevice::occupiedCellCount() const
{
    return int(std::count_if(cells.cbegin(), cells.cend(), [](const QString &cell) { return !cell.isEmpty(); }));
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
        {QStringLiteral("height"), vwSize.rows}, {QStringLiteral("bind"), currentSource()},
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
    setCurrentSource(sourceName);
    forEachMember([&](RxDevice &member) { member.setSource(sourceName); });
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
