#pragma once

#include "manager/device_lists.h"
#include "models/device_base.h"

#include <QList>
#include <QObject>
#include <QPointer>

class MiniVideoSource;
class QImageGrabberFile;
class VideoWalls;

// A made-up installation for showing the controller without hardware: 30 encoders all
// playing one local video file, four decoders and three empty walls.
class DemoInstallation : public QObject
{
    Q_OBJECT

public:
    static constexpr int ENCODER_COUNT = 30;

    DemoInstallation(const DeviceLists &lists, VideoWalls *walls, QObject *parent = nullptr);

    QImageGrabberFile *grabber() const { return videoGrabber; }

    // Replaces the decoder list and adds the encoders; the encoder list is not cleared.
    void fill(const QString &videoPath);

private:
    enum class Kind { Encoder = 1, Decoder = 2 };

    DeviceBasePtr makeDemoDevice(Kind kind, const QString &suffix, const QString &displayName, const QString &source);
    void addEncoder(int number);
    void addWall(const QString &displayName, int width, int height, const QString &source);
    // The one video feeds every demo encoder: it is decoded at the largest size any of them
    // is shown at, as often as the most often drawn of them is drawn, and not at all while
    // none is shown.
    void updateShownSize();

    DeviceLists lists;
    VideoWalls *walls;
    QImageGrabberFile *videoGrabber;
    QList<QPointer<MiniVideoSource>> fedSources;
};
