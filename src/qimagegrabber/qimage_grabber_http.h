#pragma once

#include "qimage_grabber.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

// Turns a snapshot URL (one still image per request) into a picture sequence: request,
// decode, hand out, request again, at once or paced to the requested frame rate.
class QImageGrabberHttp : public QImageGrabber
{
    Q_OBJECT

public:
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

private slots:
    void requestNewImage();
    void downloadErrorSlot(QNetworkReply::NetworkError code);
    void downloadFinished(QNetworkReply *finished);
    void onReplyDataAvailable();

private:
    void requestNextImagePaced();

    QNetworkRequest request;
    // The shared network manager owns the reply and may delete it first, when the
    // application ends.
    QPointer<QNetworkReply> reply;
    QUrl url;
    int requestInterval = 0;
};
