#include "qimage_grabber_mjpeg.h"

#include <QBuffer>
#include <QDebug>
#include <QImageReader>
#include <QNetworkAccessManager>

namespace {

const char USER_AGENT[] = "Kobo7171 Imagegrabber LIB";
const char IMAGE_FORMAT[] = "JPG";

} // namespace

QImageGrabberMjpeg::QImageGrabberMjpeg(QObject *parent)
    : QImageGrabber(parent)
    , networkManager(new QNetworkAccessManager(this))
    , cutter(MAX_IMAGE_BYTES)
    , decodeBuffer(new QBuffer(&decodeBytes, this))
{
    connect(networkManager, &QNetworkAccessManager::finished, this, &QImageGrabberMjpeg::downloadFinished);
    request.setRawHeader("User-Agent", USER_AGENT);
    decodeBuffer->open(QIODevice::ReadWrite);
}

QString QImageGrabberMjpeg::grabberName() const
{
    return QStringLiteral("HTTP mjpg image grabber");
}

bool QImageGrabberMjpeg::startGrabbing()
{
    if (!url.isValid())
        return false;
    request.setUrl(url);
    dropReply();
    reply = networkManager->get(request);
    connect(reply, &QNetworkReply::errorOccurred, this, &QImageGrabberMjpeg::downloadErrorSlot);
    connect(reply, &QNetworkReply::readyRead, this, &QImageGrabberMjpeg::replyDataAvailable);
    connect(reply, &QNetworkReply::metaDataChanged, this, &QImageGrabberMjpeg::headerReceived);
    cutter.restart();
    lastFrameTime = QTime::currentTime();
    // The state itself stays as it was (Stopped, or Error after a failure) until the reply
    // headers arrive; listeners only learn that a connection is under way.
    emit stateChanged(Connecting);
    return true;
}

void QImageGrabberMjpeg::stopGrabbing()
{
    grabbingState = Stopped;
    emit stateChanged(Stopped);
    dropReply();
}

void QImageGrabberMjpeg::setRequestedFps(double)
{
}

void QImageGrabberMjpeg::setSource(const QString &source)
{
    const QUrl parsed(source, QUrl::TolerantMode);
    if (!parsed.isValid()) {
        lastError = tr("Invalid URL");
        emit errorHappend();
        return;
    }
    url = parsed;
}

QString QImageGrabberMjpeg::source() const
{
    return url.toString();
}

QString QImageGrabberMjpeg::defaultSource() const
{
    QUrl fallback;
    fallback.setScheme(QStringLiteral("http"));
    fallback.setHost(QStringLiteral("127.0.0.1"));
    fallback.setPort(8080);
    fallback.setPath(QStringLiteral("/"));
    fallback.setQuery(QStringLiteral("action=stream"));
    return fallback.toString();
}

void QImageGrabberMjpeg::setUrl(const QUrl &newUrl)
{
    if (!isGrabbing()) {
        url = newUrl;
        return;
    }
    stopGrabbing();
    url = newUrl;
    startGrabbing();
}

void QImageGrabberMjpeg::processReceivedData(QIODevice *input)
{
    const quint64 framesBefore = cutter.frameCount();
    for (;;) {
        setState(Grabbing);
        if (!cutter.cutImage(input))
            break;
        calculateFPS(lastFrameTime.msecsTo(QTime::currentTime()));
    }
    if (cutter.overflowed()) {
        failOverflowedStream();
        return;
    }
    if (cutter.frameCount() == framesBefore)
        return;

    cutter.takeNewestImage(decodeBytes);
    imageReader->setDevice(decodeBuffer);
    imageReader->setFormat(IMAGE_FORMAT);
    decodeBuffer->seek(0);
    const bool decoded = readImage();
    decodeBuffer->seek(0);
    if (decoded) {
        emit newImageGrabbed(image);
        lastFrameTime = QTime::currentTime();
    }
}

void QImageGrabberMjpeg::newImageTimeOut()
{
    qWarning() << "newImageTimeOut called unexpectedly: the stream grabber runs no frame timer";
}

void QImageGrabberMjpeg::downloadErrorSlot(QNetworkReply::NetworkError)
{
    grabbingState = Error;
    emit stateChanged(Error);
    if (reply) {
        lastError = reply->errorString();
        emit errorHappend();
    }
}

void QImageGrabberMjpeg::downloadFinished(QNetworkReply *finished)
{
    if (finished != reply)
        return;
    // What the cutter left over may still be one whole image.
    if (reply->bytesAvailable() > 0) {
        imageReader->setDevice(reply);
        if (readImage())
            emit newImageGrabbed(image);
        imageReader->setDevice(nullptr);
    }
    if (grabbingState != Error) {
        grabbingState = Stopped;
        emit stateChanged(Stopped);
    }
    if (reply->error() == QNetworkReply::NoError)
        emit downloadStopped();
}

void QImageGrabberMjpeg::headerReceived()
{
    setState(Grabbing);
}

void QImageGrabberMjpeg::replyDataAvailable()
{
    processReceivedData(reply);
}

void QImageGrabberMjpeg::dropReply()
{
    if (!reply)
        return;
    QNetworkReply *old = reply;
    reply = nullptr;
    old->disconnect(this);
    old->abort();
    old->deleteLater();
}

void QImageGrabberMjpeg::failOverflowedStream()
{
    dropReply();
    grabbingState = Error;
    emit stateChanged(Error);
    lastError = tr("The stream sent more than %1 bytes for one image").arg(MAX_IMAGE_BYTES);
    qWarning().noquote() << "Stream from" << url.toString() << "dropped:" << lastError;
    emit errorHappend();
}
