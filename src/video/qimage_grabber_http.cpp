#include "qimage_grabber_http.h"

#include "jpeg_decoder.h"

#include <QBuffer>
#include <QDebug>
#include <QImageReader>
#include <QNetworkAccessManager>

namespace {

const char USER_AGENT[] = "QImageGrabber";
// The reply buffers a little more than one image may take, so that an oversized answer is
// seen, and ended, however fast it arrives.
constexpr qint64 READ_BUFFER_BYTES = QImageGrabber::MAX_IMAGE_BYTES + 1024 * 1024;

} // namespace

QImageGrabberHttp::QImageGrabberHttp(QObject *parent)
    : QImageGrabberHttp(QUrl(), parent)
{
}

QImageGrabberHttp::QImageGrabberHttp(const QUrl &url, QObject *parent)
    : QImageGrabber(parent)
{
    request.setRawHeader("User-Agent", USER_AGENT);
    timeoutTimer.setSingleShot(true);
    stallTimer.setSingleShot(true);
    stallTimer.setInterval(STALL_TIMEOUT_MS);
    connect(&stallTimer, &QTimer::timeout, this, &QImageGrabberHttp::onStalled);
    setUrl(url);
}

QImageGrabberHttp::~QImageGrabberHttp()
{
    // The network manager is shared and outlives the grabber; so would the request.
    abandonReply(reply);
}

QString QImageGrabberHttp::grabberName() const
{
    return QStringLiteral("HTTP single image grabber");
}

bool QImageGrabberHttp::startGrabbing()
{
    if (grabbingState == Grabbing || !url.isValid())
        return false;
    // Connecting is only signalled as Grabbing once the first answer is in.
    grabbingState = Connecting;
    lastFrameTime = monotonicMs();
    requestNewImage();
    return true;
}

void QImageGrabberHttp::stopGrabbing()
{
    if (!reply)
        return;
    grabbingState = Stopped;
    reply->close();
    timeoutTimer.stop();
    stallTimer.stop();
    emit stateChanged(Stopped);
}

void QImageGrabberHttp::setRequestedFps(double fps)
{
    requestedFps = fps;
    requestInterval = fps > 0 ? int(1000 / fps) : 0;
}

void QImageGrabberHttp::setSource(const QString &source)
{
    sourceText = source;
    setUrl(QUrl(source, QUrl::TolerantMode));
}

QString QImageGrabberHttp::source() const
{
    return url.toString();
}

QString QImageGrabberHttp::defaultSource() const
{
    return QStringLiteral("http://127.0.0.1:8080/?action=snapshot");
}

void QImageGrabberHttp::setUrl(const QUrl &newUrl)
{
    url = newUrl;
    sourceText = newUrl.toString();
    if (!newUrl.isValid()) {
        lastError = QStringLiteral("Invalid URL: %1").arg(newUrl.toString());
        emit errorHappend();
        stopGrabbing();
    } else if (isGrabbing()) {
        stopGrabbing();
        url = newUrl;
        startGrabbing();
    }
}

void QImageGrabberHttp::newImageTimeOut()
{
    requestNewImage();
}

void QImageGrabberHttp::onStalled()
{
    fail(tr("No image for %1 seconds").arg(STALL_TIMEOUT_MS / 1000));
}

void QImageGrabberHttp::requestNewImage()
{
    if (grabbingState != Grabbing && grabbingState != Connecting)
        return;
    request.setUrl(url);
    requestSentAt = monotonicMs();
    if (reply) {
        // A request still under way ends with its deletion; nothing of it reaches us.
        reply->disconnect(this);
        reply->deleteLater();
    }
    reply = networkManager()->get(request);
    reply->setReadBufferSize(READ_BUFFER_BYTES);
    connect(reply, &QNetworkReply::finished, this, [this, sent = reply] { downloadFinished(sent); });
    connect(reply, &QNetworkReply::errorOccurred, this, &QImageGrabberHttp::downloadErrorSlot);
    connect(reply, &QNetworkReply::readyRead, this, &QImageGrabberHttp::onReplyDataAvailable);
    stallTimer.start();
}

void QImageGrabberHttp::downloadErrorSlot(QNetworkReply::NetworkError)
{
    if (grabbingState == Stopped || grabbingState == Error)
        return;
    fail(reply->errorString());
}

void QImageGrabberHttp::downloadFinished(QNetworkReply *finished)
{
    // Answers to requests that a later one replaced, or that a failure ended, are not ours.
    if (finished != reply || grabbingState == Stopped || grabbingState == Error)
        return;
    stallTimer.stop();
    const QByteArray body = reply->readAll();
    if (body.isEmpty()) {
        fail(tr("The snapshot answer has no body"));
        return;
    }
    const QImage frame = decodeAnswer(body);
    if (frame.isNull()) {
        fail(tr("The snapshot answer is no whole image"));
        return;
    }
    if (grabbingState == Connecting) {
        grabbingState = Grabbing;
        emit stateChanged(Grabbing);
    }
    handOut(frame);
    // The rate of the pictures handed out, not the time one request took.
    const qint64 now = monotonicMs();
    calculateFPS(int(now - lastFrameTime));
    lastFrameTime = now;
    if (grabbingState == Grabbing)
        requestNextImagePaced();
}

QImage QImageGrabberHttp::decodeAnswer(const QByteArray &body)
{
    // A JPEG is checked to the end; other formats are left to their readers, which fail on
    // a cut file.
    if (body.startsWith("\xff\xd8"))
        return JpegDecoder::decodeWhole(body, MAX_IMAGE_PIXELS);
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    imageReader->setDevice(&buffer);
    const bool read = readImage();
    imageReader->setDevice(nullptr);
    return read ? *image : QImage();
}

void QImageGrabberHttp::onReplyDataAvailable()
{
    if (reply->bytesAvailable() <= MAX_IMAGE_BYTES)
        return;
    const QString reason = QStringLiteral("The snapshot is larger than %1 bytes").arg(MAX_IMAGE_BYTES);
    qWarning().noquote() << "Snapshot from" << url.toString() << "dropped:" << reason;
    fail(reason);
}

void QImageGrabberHttp::fail(const QString &reason)
{
    abandonReply(reply);
    timeoutTimer.stop();
    stallTimer.stop();
    // Set before anyone hears of it, so that a handler that asks the state reads Error.
    grabbingState = Error;
    lastError = reason;
    emit errorHappend();
    emit stateChanged(Error);
}

void QImageGrabberHttp::requestNextImagePaced()
{
    const int elapsed = int(monotonicMs() - requestSentAt);
    if (requestInterval > 0 && elapsed < requestInterval)
        timeoutTimer.start(requestInterval - elapsed);
    else
        requestNewImage();
}
