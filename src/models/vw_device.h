#pragma once

#include "models/rx_device_base.h"
#include "models/vw_info.h"

#include <QJsonObject>
#include <QSize>
#include <QStringList>
#include <QVector>

class RxDevice;
using RxDevicePtr = QSharedPointer<RxDevice>;

// A video wall: a grid of cells, each naming the decoder that shows that tile. It has
// no link of its own; what it is asked to do it passes on to its bound decoders.
class VWDevice : public RxDeviceBase
{
    Q_OBJECT

public:
    // Cells are given row by row; the list is cut or padded to width x height.
    VWDevice(const QString &name, const QString &displayName, int width, int height, const QString &source,
        const QStringList &initialCells, QObject *parent = nullptr);

    DeviceModel deviceModel() const override { return DeviceModel::Vw; }
    QString category() const override;

    QSize size() const { return vwSize.size(); }
    QStringList cellNames() const { return cells; }
    QVector<RxDevicePtr> members() const { return boundMembers; }

    // Places a decoder in the cell that names it or, for a decoder not named yet, in the
    // free cell its own wall geometry points at. False when the wall has no place for it.
    bool bind(const RxDevicePtr &decoder);
    // Turns every bound decoder back into a stand-alone display; one entry per cell.
    QVector<RxDevicePtr> releaseMembers();
    // The members disagree about their source: the wall shows no single one.
    bool mixed() const { return isMixed; }
    // The place in the grid of the cell a bound decoder fills.
    VwInfo placeOf(const RxDevice &decoder) const;
    // Cells whose decoder has turned up.
    int boundCount() const;
    // "1" or "0" per cell, joined with ","; an unbound cell counts as offline.
    QString onlineStatusText() const;
    // The wall as the configuration file keeps it.
    QJsonObject toJson() const;

    bool containsName(const QString &name) const override;
    bool containsAlias(const QString &alias) const override;
    void collectNames(QStringList &out) const override;
    DeviceBasePtr findMember(const QString &name) const override;
    void offlineCounterIncrease() override;

    void setSource(const QString &sourceName) override;
    void setDisplayPower(bool on, const QString &customCommand) override;
    void showOsdSeq() override;
    void hideOsd() override;

private:
    template <typename Action> void forEachMember(Action action) const
    {
        for (const RxDevicePtr &member : boundMembers) {
            if (member)
                action(*member);
        }
    }

    // The wall's source is what its members show, as far as they have been read.
    void followMembers();

    VwInfo vwSize;
    QStringList cells;
    QVector<RxDevicePtr> boundMembers;
    bool isMixed = false;
    bool forwarding = false;
};
