#pragma once

#include "qimage_grabber.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

// Turns a snapshot URL (one still image per request) into a picture sequence: request,
// decode, hand out, request again, at once or paced to the requested frame rate. Only whole,
// decoded images are handed out; a failed answer (an HTTP error, a body that is no image or
// is cut short, no answer within STALL_TIMEOUT_MS) is reported once and ends the sequence.
class QImageGrabberHttp : public QImageGrabber
{
    Q_OBJECT

public:
    static constexpr int STALL_TIMEOUT_MS = 10000;

    explicit QImageGrabberHttp(QObject *parent = nullptr);
    explicit QImageGrabberHttp(const QUrl &url, QObject *parent = nullptr);
    ~QImageGrabberHttp() override;

    QString grabberName() const override;
    bool startGrabbing() override;
    void stopGrabbing() override;
    void setRequestedFps(double fps) override;
    void setSource(const QString &source) override;
    QString source() const override;
    QString defaultSource() const override;

    // Stores the URL; an invalid one is reported and stops the grabber, a valid one
    // restarts a running grabber on it.
    void setUrl(const QUrl &newUrl);

protected slots:
    void newImageTimeOut() override;
    // No whole answer STALL_TIMEOUT_MS after the request: the server has stalled.
    void onStalled();

private slots:
    void requestNewImage();
    void downloadErrorSlot(QNetworkReply::NetworkError code);
    void downloadFinished(QNetworkReply *finished);
    void onReplyDataAvailable();

protected:
    QTimer stallTimer;

private:
    void requestNextImagePaced();
    void fail(const QString &reason);
    QImage decodeAnswer(const QByteArray &body);

    QNetworkRequest request;
    // The shared network manager owns the reply and may delete it first, when the
    // application ends.
    QPointer<QNetworkReply> reply;
    QUrl url;
    int requestInterval = 0;
    // When the last request went out: the pacing counts from request to request.
    qint64 requestSentAt = 0;
};
