#pragma once

#include "models/device_base.h"

class MiniVideoSource;
class QAbstractVideoSurface;
class QImageGrabberMjpeg;
class QTimer;

// One encoder and its live preview: an MJPEG grabber on the encoder's stream feeding
// the video source the thumbnails (and the large video area) show. A failed or ended
// stream is retried after a pause for as long as the encoder is online; the frames are
// decoded only while a view shows them, at the size it draws them.
class TxDevice : public DeviceBase
{
    Q_OBJECT

public:
    static constexpr int RETRY_DELAY_MS = 5000;

    explicit TxDevice(const DeviceDiscoveryResponsePtr &record, QObject *parent = nullptr);

    DeviceModel deviceModel() const override { return DeviceModel::Tx; }
    QString category() const override;

    QImageGrabberMjpeg *grabber() const { return streamGrabber; }
    MiniVideoSource *videoSource() const { return source; }
    bool demo() const { return demoMode; }
    // Set while a demo video feeds the video source, so that views do not start the stream.
    void setDemo(bool demo) { demoMode = demo; }

    void startFetchVideoStream();

protected:
    void addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress) override;

private slots:
    void bindSurface(QAbstractVideoSurface *surface);
    void onVideoDownloadError();
    void onGrabberStateChanged();
    void updateVideoUrl();
    void onOnlineStatusChanged();

private:
    QImageGrabberMjpeg *streamGrabber;
    MiniVideoSource *source;
    bool demoMode = false;
    QTimer *retryTimer;
    // The stream has failed and not run again since: its retries are not warned about anew.
    bool outage = false;
};
