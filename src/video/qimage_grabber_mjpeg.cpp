#include "qimage_grabber_mjpeg.h"

#include "frame_decoder.h"
#include "jpeg_decoder.h"

#include <QBuffer>
#include <QDebug>
#include <QNetworkAccessManager>

namespace {

const char USER_AGENT[] = "Kobo7171 Imagegrabber LIB";
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
    , cutter(MAX_IMAGE_BYTES, MAX_HEADER_LINE_BYTES)
    , receivedBuffer(new QBuffer(&receivedBytes, this))
{
    request.setRawHeader("User-Agent", USER_AGENT);
    receivedBuffer->open(QIODevice::ReadOnly);
    timeoutTimer.setSingleShot(true);
    timeoutTimer.setInterval(STALL_TIMEOUT_MS);
}

QImageGrabberMjpeg::~QImageGrabberMjpeg()
{
    // The network manager is shared and outlives the grabber; so would the download.
    abandonReply(reply);
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
    decoder->cancel();
    reply = networkManager()->get(request);
    reply->setReadBufferSize(READ_BUFFER_BYTES);
    connect(reply, &QNetworkReply::errorOccurred, this, &QImageGrabberMjpeg::downloadErrorSlot);
    connect(reply, &QNetworkReply::readyRead, this, &QImageGrabberMjpeg::replyDataAvailable);
    connect(reply, &QNetworkReply::metaDataChanged, this, &QImageGrabberMjpeg::headerReceived);
    connect(reply, &QNetworkReply::finished, this, [this, started = reply] { downloadFinished(started); });
    cutter.restart();
    receivedBytes.clear();
    receivedBuffer->seek(0);
    lastFrameTime = monotonicMs();
    timeoutTimer.start();
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
    timeoutTimer.stop();
    decoder->cancel();
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
    for (;;) {
        setState(Grabbing);
        if (!cutter.cutImage(receivedBuffer))
            break;
        // Every frame counts where it arrives, also the second of two that came in one read.
        const qint64 now = monotonicMs();
        calculateFPS(int(now - lastFrameTime));
        lastFrameTime = now;
        timeoutTimer.start();
        // Each frame goes to the decoder as soon as it is cut: an idle decoder starts on it at
        // once, a busy one keeps only the newest waiting. Taken, not copied: the cutter
        // collects the next image into a buffer of its own.
        QByteArray frame;
        cutter.takeNewestImage(frame);
        decoder->submit(frame);
    }
    receivedBytes.remove(0, int(receivedBuffer->pos()));
    receivedBuffer->seek(0);
    if (cutter.overflowed()) {
        const QString reason = tr("The stream sent an image or a header line larger than allowed");
        qWarning().noquote() << "Stream from" << url.toString() << "dropped:" << reason;
        failStream(reason);
    }
}

void QImageGrabberMjpeg::newImageTimeOut()
{
    const QString reason = tr("No image for %1 seconds").arg(STALL_TIMEOUT_MS / 1000);
    // The encoder's retry path warns about the outage; a stall is one way for it to start.
    qInfo().noquote() << "Stream from" << url.toString() << "dropped:" << reason;
    failStream(reason);
}

void QImageGrabberMjpeg::downloadErrorSlot(QNetworkReply::NetworkError)
{
    grabbingState = Error;
    emit stateChanged(Error);
    timeoutTimer.stop();
    decoder->cancel();
    if (reply) {
        lastError = reply->errorString();
        emit errorHappend();
    }
}

void QImageGrabberMjpeg::downloadFinished(QNetworkReply *finished)
{
    if (finished != reply)
        return;
    timeoutTimer.stop();
    // Frames still being decoded would reach the views after the end is announced, over the
    // placeholder that follows it. What the cutter left over may still be one whole image:
    // that one is decoded here and now, so that it comes before the end.
    decoder->cancel();
    receivedBytes.append(reply->readAll());
    if (!receivedBytes.isEmpty() && !decoder->shownSize().isEmpty()) {
        const QImage leftover = JpegDecoder::decode(receivedBytes, decoder->shownSize(), MAX_IMAGE_PIXELS);
        if (!leftover.isNull())
            handOut(leftover);
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

void QImageGrabberMjpeg::failStream(const QString &reason)
{
    abandonReply(reply);
    timeoutTimer.stop();
    decoder->cancel();
    grabbingState = Error;
    emit stateChanged(Error);
    lastError = reason;
    emit errorHappend();
}
