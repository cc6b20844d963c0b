#include "qimage_grabber_http.h"

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
    // An answer that does not decode hands out the image as it is, possibly this initial one,
    // so its pixels must be defined. The other grabbers only hand out decoded frames and
    // leave its memory untouched.
    image->fill(Qt::black);
    timeoutTimer.setSingleShot(true);
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

void QImageGrabberHttp::requestNewImage()
{
    if (grabbingState != Grabbing && grabbingState != Connecting)
        return;
    request.setUrl(url);
    lastFrameTime = monotonicMs();
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
}

void QImageGrabberHttp::downloadErrorSlot(QNetworkReply::NetworkError)
{
    if (grabbingState == Stopped)
        return;
    lastError = reply->errorString();
    emit errorHappend();
    grabbingState = Error;
    emit stateChanged(Error);
}

void QImageGrabberHttp::downloadFinished(QNetworkReply *finished)
{
    // Answers to requests that a later one replaced, or that the size guard ended, are not ours.
    if (finished != reply)
        return;
    if (grabbingState == Connecting) {
        grabbingState = Grabbing;
        emit stateChanged(Grabbing);
    }
    if (reply->bytesAvailable() == 0) {
        // Without a body there is no next request: say so instead of staying Grabbing.
        if (grabbingState == Grabbing) {
            grabbingState = Stopped;
            emit stateChanged(Stopped);
        }
        return;
    }
    imageReader->setDevice(reply);
    readImage();
    imageReader->setDevice(nullptr);
    // Handed out even when it did not decode; the image then shows the previous frame.
    emit newImageGrabbed(image);
    calculateFPS(int(monotonicMs() - lastFrameTime));
    if (grabbingState == Grabbing)
        requestNextImagePaced();
}

void QImageGrabberHttp::onReplyDataAvailable()
{
    if (reply->bytesAvailable() <= MAX_IMAGE_BYTES)
        return;
    abandonReply(reply);
    timeoutTimer.stop();
    lastError = QStringLiteral("The snapshot is larger than %1 bytes").arg(MAX_IMAGE_BYTES);
    qWarning().noquote() << "Snapshot from" << url.toString() << "dropped:" << lastError;
    emit errorHappend();
    grabbingState = Error;
    emit stateChanged(Error);
}

void QImageGrabberHttp::requestNextImagePaced()
{
    const int elapsed = int(monotonicMs() - lastFrameTime);
    if (requestInterval > 0 && elapsed < requestInterval)
        timeoutTimer.start(requestInterval - elapsed);
    else
        requestNewImage();
}
