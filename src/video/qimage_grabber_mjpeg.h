#pragma once

#include "mjpeg_frame_cutter.h"
#include "qimage_grabber.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

class QBuffer;

// Pulls an encoder's MJPEG preview over one long HTTP GET, cuts its images as they arrive and
// hands each to the decoder as it is cut; a busy decoder keeps only the newest waiting, so a
// slow consumer never builds a backlog, and an idle one misses no frame of a bursty sender.
// A stream that delivers no image for a while counts as failed.
class QImageGrabberMjpeg : public QImageGrabber
{
    Q_OBJECT

public:
    static constexpr int STALL_TIMEOUT_MS = 10000;

    explicit QImageGrabberMjpeg(QObject *parent = nullptr);
    ~QImageGrabberMjpeg() override;

    QString grabberName() const override;
    bool startGrabbing() override;
    // Reports Stopped at once and ends the download, without an error for it.
    void stopGrabbing() override;
    void setRequestedFps(double fps) override;
    void setSource(const QString &source) override;
    QString source() const override;
    QString defaultSource() const override;

    // Stores the URL; a running download is restarted on it.
    void setUrl(const QUrl &newUrl);

protected:
    // Cuts what a download delivered into images and hands each to the decoder. The reply feeds
    // it; any device does, so the stream handling can be driven without a network.
    void processReceivedData(QIODevice *input);

protected slots:
    // No image for STALL_TIMEOUT_MS: the stream has stalled.
    void newImageTimeOut() override;

private slots:
    void downloadErrorSlot(QNetworkReply::NetworkError code);
    void downloadFinished(QNetworkReply *finished);
    void headerReceived();
    void replyDataAvailable();

private:
    // Ends the download as failed, with the reason in errorString.
    void failStream(const QString &reason);

    QUrl url;
    QNetworkRequest request;
    // The shared network manager owns the reply and may delete it first, when the
    // application ends.
    QPointer<QNetworkReply> reply;
    MjpegFrameCutter cutter;
    // Received bytes the cutter has not used yet.
    QByteArray receivedBytes;
    QBuffer *receivedBuffer;
};
