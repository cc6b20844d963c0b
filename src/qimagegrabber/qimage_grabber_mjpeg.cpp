#include "qimage_grabber_mjpeg.h"

#include <QBuffer>
#include <QDebug>
#include <QImageReader>
#include <QNetworkAccessManager>

namespace {

const char USER_AGENT[] = "Kobo7171 Imagegrabber LIB";
const char IMAGE_FORMAT[] = "JPG";
// The reply holds at most this much unread: past it the network is not read until the
// grabber has taken bytes out, so a sender faster than the decoding is held back by TCP
// instead of filling memory.
constexpr qint64 READ_BUFFER_BYTES = 1024 * 1024;
// A part header line longer than this is none; it has to fit into the reply's buffer.
constexpr qint64 MAX_HEADER_LINE_BYTES = 64 * 1024;
static_assert(MAX_HEADER_LINE_BYTES < READ_BUFFER_BYTES, "a header line must fit into the read buffer");

} // namespace

QImageGrabberMjpeg::QImageGrabberMjpeg(QObject *parent)
    : QImageGrabber(parent)
    , networkManager(new QNetworkAccessManager(this))
    , cutter(MAX_IMAGE_BYTES, MAX_HEADER_LINE_BYTES)
    , receivedBuffer(new QBuffer(&receivedBytes, this))
    , decodeBuffer(new QBuffer(&decodeBytes, this))
{
    connect(networkManager, &QNetworkAccessManager::finished, this, &QImageGrabberMjpeg::downloadFinished);
    request.setRawHeader("User-Agent", USER_AGENT);
    receivedBuffer->open(QIODevice::ReadOnly);
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
    abandonReply(reply);
    reply = networkManager->get(request);
    reply->setReadBufferSize(READ_BUFFER_BYTES);
    connect(reply, &QNetworkReply::errorOccurred, this, &QImageGrabberMjpeg::downloadErrorSlot);
    connect(reply, &QNetworkReply::readyRead, this, &QImageGrabberMjpeg::replyDataAvailable);
    connect(reply, &QNetworkReply::metaDataChanged, this, &QImageGrabberMjpeg::headerReceived);
    cutter.restart();
    receivedBytes.clear();
    receivedBuffer->seek(0);
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
    abandonReply(reply);
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
    return QStringLiteral("http://127.0.0.1:8080/?action=stream");
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
    // The reply is emptied every time: it reads on from the network only once all it holds
    // has been taken, and whatever the cutter cannot use yet (a part of a header) stays here.
    receivedBytes.append(input->readAll());
    const quint64 framesBefore = cutter.frameCount();
    for (;;) {
        setState(Grabbing);
        if (!cutter.cutImage(receivedBuffer))
            break;
        calculateFPS(lastFrameTime.msecsTo(QTime::currentTime()));
    }
    receivedBytes.remove(0, int(receivedBuffer->pos()));
    receivedBuffer->seek(0);
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
    receivedBytes.append(reply->readAll());
    if (!receivedBytes.isEmpty()) {
        imageReader->setDevice(receivedBuffer);
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

void QImageGrabberMjpeg::failOverflowedStream()
{
    abandonReply(reply);
    grabbingState = Error;
    emit stateChanged(Error);
    lastError = tr("The stream sent an image or a header line larger than allowed");
    qWarning().noquote() << "Stream from" << url.toString() << "dropped:" << lastError;
    emit errorHappend();
}
