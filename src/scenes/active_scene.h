#pragma once

#include <QObject>
#include <QString>

class DeviceListModel;
class QTimer;
class SceneStore;

// The scene the screens show right now: the first saved scene the live routing equals.
// Encoders coming and going count too: a scene naming one that is gone is not shown.
// Looked at again a moment after any source, list or scene changes, so that the hundreds
// of changes one recall brings cost one comparison.
class ActiveScene : public QObject
{
    Q_OBJECT

public:
    ActiveScene(DeviceListModel *rxlist, DeviceListModel *txlist, SceneStore *store, QObject *parent = nullptr);

    QString name() const { return active; }

public slots:
    void update();

signals:
    void changed(const QString &name);

private slots:
    void onSomethingChanged();

private:
    DeviceListModel *rxlist;
    DeviceListModel *txlist;
    SceneStore *store;
    QTimer *delay;
    QString active;
};
