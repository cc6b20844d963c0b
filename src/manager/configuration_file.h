#pragma once

#include "manager/device_lists.h"

#include <QObject>

class AccessLock;
class DeviceListModel;
class DisplayControl;
class JsonConfig;
class QTimer;

// "~/.zentrova/config.json" as the manager uses it: the walls, display names, list
// orders, password and power commands read at start, and written back in one go a
// moment after the last change, so that a pass or a drag writes once, not per row.
class ConfigurationFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int SAVE_DELAY_MS = 300;

    // Everything given must outlive this object.
    ConfigurationFile(JsonConfig *store, const DeviceLists &lists, AccessLock *lock, DisplayControl *display,
        QObject *parent = nullptr);
    // Writes a save still waiting.
    ~ConfigurationFile() override;

    // Recreates the saved walls in the decoder list and hands out the stored settings.
    void load();
    QTimer *saveTimer() const { return timer; }
    // While held (a rename or a drag in progress) saves wait until it is released.
    void setHeld(bool held);
    // False when the file can neither be deleted nor emptied; it stays writable then.
    bool erase();

public slots:
    void requestSave();
    // False, with errorOccured, when the file could not be written.
    bool saveNow();

signals:
    void errorOccured(const QString &errorText);

private slots:
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);

private:
    void watch(DeviceListModel *list);
    void loadWalls();
    void writeEntries(const DeviceListModel &list, int &highestOrder);

    JsonConfig *store;
    DeviceLists lists;
    AccessLock *lock;
    DisplayControl *display;
    QTimer *timer;
    bool held = false;
    bool pending = false;
};
