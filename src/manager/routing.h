#pragma once

#include "manager/device_lists.h"
#include "models/device_base.h"

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

class BroadcastSocket;
class MiniVideoSource;
class RxDeviceBase;

// Which encoder each decoder and wall shows: the selection in the video area, routing an
// encoder to it or to every screen, and the video area following the selection.
class Routing : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 ENCODER_COMMAND_PORTS[] = {5010, 5011};
    static constexpr int WALL_CELLS = 64;

    enum class Result { Routed, UnknownTarget, RefusedSource };

    Routing(const DeviceLists &lists, BroadcastSocket *sockets, QObject *parent = nullptr);

    MiniVideoSource *videoSource() const { return rxsource; }
    QString currentRx() const { return current; }
    QSize currentVwSize() const { return vwSize; }
    void setCurrentVwSize(const QSize &size);
    // False only for a screen whose decoder is offline; an empty screen reads true.
    QList<bool> vwOnlineStatus() const { return onlineCells; }
    // The selected wall's members show different sources.
    bool currentMixed() const { return mixed; }
    // The name people know the encoder by whose picture the video area shows; empty for none.
    QString currentSourceAlias() const { return sourceAlias; }
    // Lists of another length than WALL_CELLS are ignored.
    void setVwOnlineStatus(const QList<bool> &status);
    // In demo mode the encoders are not told about walls.
    void setDemoMode(bool demo) { demoMode = demo; }

    void setCurrentRxDevice(const QString &rx);
    void updateVwOnlineStatus();

    // Every way in routes through these: the window's drops and the control API name the
    // encoder (its device name, empty for none) and the decoder or wall (its device name).
    Result route(const QString &sourceName, const QString &targetName);
    Result routeToAll(const QString &sourceName);
    // Tells the encoders again which decoders of the wall (its device name) show its route.
    void reannounceWall(const QString &wallName);
    // The source name an interface reference ("TX:" and the encoder's name) carries; false
    // for anything else.
    static bool sourceFromReference(const QString &tx, QString *sourceName);

signals:
    // A route was sent; it is to be kept in the settings file.
    void routed();
    void currentMixedChanged(bool mixed);
    void currentSourceChanged(const QString &alias);
    void currentVwSizeChanged(QSize size);
    void vwOnlineStatusChanged();
    void errorOccured(const QString &errorText);

private:
    void onRxDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);
    DeviceBasePtr selectedEntry() const;
    bool sourceAcceptable(const QString &sourceName);
    void routeEntry(RxDeviceBase &entry, const QString &sourceName);
    void announceWall(const RxDeviceBase &wall, const QString &sourceName);
    void refreshRxVideo();
    void setSourceAlias(const QString &alias);
    void sendTxBroadcastCommand(const QByteArray &data);

    DeviceLists lists;
    BroadcastSocket *sockets;
    MiniVideoSource *rxsource;
    QString current;
    QSize vwSize {1, 1};
    QList<bool> onlineCells;
    bool demoMode = false;
    bool mixed = false;
    QString sourceAlias;
};
