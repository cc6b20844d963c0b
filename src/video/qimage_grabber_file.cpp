#include "qimage_grabber_file.h"

#include "avi_format.h"
#include "frame_decoder.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

QImageGrabberFile::QImageGrabberFile(QObject *parent)
    : QImageGrabber(parent)
    , clock(&QImageGrabber::monotonicMs)
{
    // Nothing is loaded yet, so there is nothing to start.
    grabbingState = Error;
    connect(&frameTimer, &QTimer::timeout, this, &QImageGrabberFile::grabberNextFrame);
}

QString QImageGrabberFile::grabberName() const
{
    return QStringLiteral("MJPEG File Grabber");
}

bool QImageGrabberFile::startGrabbing()
{
    if (grabbingState != Grabbing && grabbingState != Error && !fileData.isEmpty() && index) {
        // Playback goes on where it stopped: the frames shown so far are due by now, not
        // those of all the time the grabber was stopped.
        playbackStart = clock() - framesPassed * index->frameIntervalMs();
        grabbingState = Grabbing;
        frameTimer.start();
        return true;
    }
    return grabbingState == Grabbing;
}

void QImageGrabberFile::stopGrabbing()
{
    frameTimer.stop();
    decoder->cancel();
    grabbingState = Stopped;
}

void QImageGrabberFile::setRequestedFps(double)
{
}

void QImageGrabberFile::setSource(const QString &path)
{
    stopGrabbing();
    filePath = path;
    loadAviFile();
}

QString QImageGrabberFile::source() const
{
    return filePath;
}

QString QImageGrabberFile::defaultSource() const
{
    return QStringLiteral("/zentrova.avi");
}

void QImageGrabberFile::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

void QImageGrabberFile::newImageTimeOut()
{
}

void QImageGrabberFile::loadAviFile()
{
    fileData.clear();
    index.reset();

    const QFileInfo info(filePath);
    if (!info.isFile() || info.size() < avi::MIN_FILE_BYTES || info.size() > avi::MAX_FILE_BYTES) {
        qDebug().noquote() << filePath << "is not a valid file or too large.";
        grabbingState = Error;
        return;
    }
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << "Can't read file" << filePath;
        grabbingState = Error;
        return;
    }
    fileData = file.readAll();
    index = AviIndex::parse(fileData);
    if (!index) {
        fileData.clear();
        grabbingState = Error;
        return;
    }
    frameTimer.setInterval(index->frameIntervalMs());
    currentEntry = 0;
    grabbingState = Stopped;
}

void QImageGrabberFile::grabberNextFrame()
{
    if (!index)
        return;
    if (currentEntry >= index->entryCount())
        currentEntry = 0;
    for (; currentEntry < index->entryCount(); ++currentEntry) {
        const qint64 now = clock();
        if (currentEntry == 0) {
            playbackStart = now;
            framesPassed = 0;
        }
        QByteArray jpeg;
        // Other streams' chunks and entries that point outside the file are passed over.
        if (!index->videoFrame(currentEntry, &jpeg))
            continue;
        ++framesPassed;
        // Behind the clock: drop this frame rather than let the video fall further behind.
        if (framesPassed < (now - playbackStart) / index->frameIntervalMs())
            continue;
        // A copy of its own: the frame is decoded on another thread, and the file data it
        // points into goes away when another file is loaded.
        decoder->submit(QByteArray(jpeg.constData(), jpeg.size()));
        ++currentEntry;
        return;
    }
}
