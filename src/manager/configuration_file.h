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
    // While the file cannot be written (a full disk), how often a save is tried again.
    static constexpr int RETRY_MS = 5000;

    // Everything given must outlive this object.
    ConfigurationFile(JsonConfig *store, const DeviceLists &lists, AccessLock *lock, DisplayControl *display,
        QObject *parent = nullptr);
    // Writes a save still waiting.
    ~ConfigurationFile() override;

    // Recreates the saved walls in the decoder list and hands out the stored settings.
    void load();
    QTimer *saveTimer() const { return timer; }
    QTimer *retryTimer() const { return retry; }
    // While held (a rename or a drag in progress) saves wait until it is released.
    void setHeld(bool held);
    // False when the file can neither be deleted nor emptied; it stays writable then.
    bool erase();

public slots:
    void requestSave();
    // False, with errorOccured, when the file could not be written: a user who asked for
    // the change is told every time, while the saves made in the background tell the user
    // once until the file can be written again.
    bool saveNow();

signals:
    void errorOccured(const QString &errorText);
    // Saving failed (the reason given) or works again after failing; once per episode.
    void saveStateChanged(bool saved, const QString &reason);

private slots:
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);
    void onSaveTimer();
    void onSaveStateChanged(bool saved, const QString &reason);

private:
    void watch(DeviceListModel *list);
    void loadWalls();
    void writeEntries(const DeviceListModel &list, int &highestOrder);
    bool writeAll();
    QString failureText() const;

    JsonConfig *store;
    DeviceLists lists;
    AccessLock *lock;
    DisplayControl *display;
    QTimer *timer;
    QTimer *retry;
    bool held = false;
    bool pending = false;
    bool failureTold = false;
};
