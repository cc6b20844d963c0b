#pragma once

#include "video/frame_pacer.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <memory>

// Decodes one stream's JPEG frames on the shared decode pool: at most one frame of the
// stream is in flight, and of the frames that come meanwhile only the newest waits, the
// older ones are dropped unread. Finished images come back on the thread this object lives
// on. Frames that nobody is shown are not decoded at all.
class FrameDecoder : public QObject
{
    Q_OBJECT

public:
    FrameDecoder(qint64 maxPixels, QObject *parent = nullptr);
    ~FrameDecoder() override;

    // The size the largest view draws the frames at; they are decoded at the smallest exact
    // scale that covers it. An empty size: nobody sees them, so nothing is decoded.
    void setShownSize(const QSize &size);
    QSize shownSize() const { return shown; }
    // Frames submitted sooner than this after the last one taken are dropped unread (0: none
    // are): nobody draws them.
    void setFrameInterval(int ms) { pacer.setInterval(ms); }

    void submit(const QByteArray &jpeg);
    // The frame submitted last, decoded or not, and its number (0 before the first, or after
    // a cancel); for those who want the picture as the stream sent it.
    QByteArray newest(quint64 *serial) const;
    // Forgets the waiting frame and the result of the one in flight, for a stream that ended.
    void cancel();
    // A frame is in flight or waiting.
    bool busy() const { return inFlight || frameWaiting; }

signals:
    void decoded(const QImage &image);

private slots:
    void onFinished();

private:
    struct Channel;

    void startNext();
    void dropWaiting();

    const qint64 maxPixels;
    std::shared_ptr<Channel> channel;
    QSize shown;
    FramePacer pacer;
    QByteArray waiting;
    QByteArray newestFrame;
    quint64 newestSerial = 0;
    // The frame handed out last, and the one before it: once nobody else holds that one,
    // the next frame is decoded into it.
    QImage current;
    QImage previous;
    bool frameWaiting = false;
    bool inFlight = false;
    // Results of frames started before the last cancel are not handed out.
    quint64 generation = 0;
    quint64 inFlightGeneration = 0;
};
