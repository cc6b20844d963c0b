#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTimer>
#include <array>

class FrameDecoder;
class QBuffer;
class QImageReader;
class QNetworkAccessManager;
class QNetworkReply;

// An image source that decodes one frame at a time into an image it owns. Receivers
// of newImageGrabbed use or copy the image inside the slot and never keep the pointer.
class QImageGrabber : public QObject
{
    Q_OBJECT

public:
    enum GrabbingState { Stopped = 0, Connecting = 1, Grabbing = 2, Error = 4 };
    Q_ENUM(GrabbingState)

    static constexpr int FPS_HISTORY_SIZE = 50;
    // Bounds for one image, encoded and decoded: a broken or hostile source must not be
    // able to make a grabber hold more than this for a frame.
    static constexpr qint64 MAX_IMAGE_BYTES = 32 * 1024 * 1024;
    static constexpr qint64 MAX_IMAGE_PIXELS = 4096 * 4096;

    explicit QImageGrabber(QObject *parent = nullptr);
    ~QImageGrabber() override;

    virtual QString grabberName() const = 0;
    virtual bool startGrabbing() = 0;
    virtual void stopGrabbing() = 0;
    virtual bool isGrabbing() const;
    virtual void setRequestedFps(double fps) = 0;
    virtual void setSource(const QString &source) = 0;
    virtual QString source() const = 0;
    virtual QString defaultSource() const = 0;

    GrabbingState state() const { return grabbingState; }
    QString errorString() const { return lastError; }

    // The size the largest view draws the frames at: they are decoded at the smallest exact
    // scale that covers it. An empty size means nobody sees them, and nothing is decoded
    // until a size is given again. Until told, frames are decoded at full size.
    void setShownSize(const QSize &size);
    // The shortest interval at which a view draws the frames: frames that come sooner after
    // the last one decoded are not decoded (0: every frame is).
    void setFrameInterval(int ms);
    // The newest JPEG image cut from the source, as it came, and its running number.
    QByteArray newestJpeg(quint64 *serial) const;

    // Milliseconds on a monotonic clock, for frame intervals that clock changes cannot upset.
    static qint64 monotonicMs();

signals:
    void newImageGrabbed(QImage *img);
    void errorHappend();
    void stateChanged(QImageGrabber::GrabbingState newState);
    void newFPSCalculated(double current, double avg);
    void downloadStopped();

protected slots:
    virtual void newImageTimeOut() = 0;

protected:
    void setState(GrabbingState newState);
    // Records the time since the previous frame; only its low 16 bits count.
    void calculateFPS(int intervalMs);
    // Decodes from imageReader's device into image. An image whose header announces more
    // than MAX_IMAGE_PIXELS is refused before any pixel memory is taken for it.
    bool readImage();
    // The one network access manager of all grabbers, so that they share its HTTP thread.
    static QNetworkAccessManager *networkManager();
    // Ends a download, if there is one, so that nothing of it reaches this grabber again.
    void abandonReply(QPointer<QNetworkReply> &reply);

    QString lastError;
    QBuffer *frameBuffer;
    QImageReader *imageReader;
    QImage *image;
    QString sourceText;
    GrabbingState grabbingState = Stopped;
    double requestedFps = 0;
    // monotonicMs() at the previous frame.
    qint64 lastFrameTime = 0;
    QTimer timeoutTimer;
    // Decodes JPEG frames off this thread; what it finishes is handed out as image.
    FrameDecoder *decoder;

    // Makes frame the image and hands it out. Its pixels are shared, not copied: a view still
    // showing the previous frame keeps that one's pixels alive on its own.
    void handOut(const QImage &frame);

private:
    std::array<quint16, FPS_HISTORY_SIZE> intervalHistory {};
    int historyIndex = 0;
    bool historyFull = false;
    quint64 intervalSum = 0;
};

Q_DECLARE_METATYPE(QImageGrabber::GrabbingState)
