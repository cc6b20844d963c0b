#pragma once

#include "avi_index.h"
#include "qimage_grabber.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QTimer>
#include <functional>

// Plays an MJPEG AVI file as an endless sequence of images, paced by the file's frame rate
// against a monotonic clock: when a tick comes late, the frames that were due meanwhile are
// dropped instead of slowing the video down. The whole file is held in memory, so playback
// never touches the disk. The state changes silently; users poll isGrabbing().
class QImageGrabberFile : public QImageGrabber
{
    Q_OBJECT

public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    explicit QImageGrabberFile(QObject *parent = nullptr);

    QString grabberName() const override;
    bool startGrabbing() override;
    void stopGrabbing() override;
    void setRequestedFps(double fps) override;
    // Stops playback and loads the file; playback is not restarted.
    void setSource(const QString &path) override;
    QString source() const override;
    QString defaultSource() const override;

    void setClock(Clock clock);

protected slots:
    void grabberNextFrame();
    void newImageTimeOut() override;

protected:
    QTimer frameTimer;

private:
    void loadAviFile();

    QString filePath;
    QByteArray fileData;
    QSharedPointer<AviIndex> index;
    Clock clock;
    int currentEntry = 0;
    qint64 playbackStart = 0;
    qint64 framesPassed = 0;
};
