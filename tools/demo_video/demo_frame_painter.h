#pragma once

#include <QImage>
#include <QSize>

// Draws the frames of the demo video: colour bars that drift sideways, an analogue clock
// and the running time with the frame number, so that a viewer can see at a glance that
// the picture moves, how smoothly, and where a loop starts again.
class DemoFramePainter
{
public:
    DemoFramePainter(const QSize &frameSize, int framesPerSecond);

    QImage frame(int number) const;

private:
    void drawBars(QPainter &painter, int number) const;
    void drawClock(QPainter &painter, double seconds) const;
    void drawCaption(QPainter &painter, int number) const;

    QSize size;
    int fps;
};
