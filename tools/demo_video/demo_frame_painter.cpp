#include "demo_frame_painter.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QtMath>
#include <array>

namespace {

const std::array<QColor, 8> BAR_COLOURS = {QColor(235, 235, 235), QColor(235, 235, 16), QColor(16, 235, 235),
    QColor(16, 235, 16), QColor(235, 16, 235), QColor(235, 16, 16), QColor(16, 16, 235), QColor(16, 16, 16)};
// The bars move a whole 8 x 8 JPEG block per frame, so that their edges always fall on block
// borders: flat blocks cost next to nothing, and the video stays a few megabytes.
constexpr int BAR_STEP_PIXELS = 8;

} // namespace

DemoFramePainter::DemoFramePainter(const QSize &frameSize, int framesPerSecond)
    : size(frameSize)
    , fps(framesPerSecond)
{
}

QImage DemoFramePainter::frame(int number) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawBars(painter, number);
    drawClock(painter, double(number) / fps);
    drawCaption(painter, number);
    return image;
}

void DemoFramePainter::drawBars(QPainter &painter, int number) const
{
    const int barWidth = size.width() / int(BAR_COLOURS.size());
    const int shift = int(qint64(number) * BAR_STEP_PIXELS % size.width());
    // Each bar is drawn twice, one picture width apart, so that the row wraps around.
    for (int copy = -1; copy <= 0; ++copy) {
        for (size_t i = 0; i < BAR_COLOURS.size(); ++i) {
            const int left = shift + copy * size.width() + int(i) * barWidth;
            painter.fillRect(left, 0, barWidth, size.height(), BAR_COLOURS[i]);
        }
    }
}

void DemoFramePainter::drawClock(QPainter &painter, double seconds) const
{
    const int radius = size.height() / 8;
    const QPointF centre(size.width() - radius * 1.4, radius * 1.4);
    painter.setPen(QPen(Qt::white, 4));
    painter.setBrush(Qt::black);
    painter.drawEllipse(centre, radius, radius);
    for (int tick = 0; tick < 12; ++tick) {
        const double angle = tick * M_PI / 6;
        const QPointF direction(qSin(angle), -qCos(angle));
        painter.drawLine(centre + direction * radius * 0.8, centre + direction * radius * 0.95);
    }
    // The hand goes round once a minute, like a second hand.
    const double angle = seconds * M_PI / 30;
    painter.setPen(QPen(QColor(255, 80, 40), 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(qSin(angle), -qCos(angle)) * radius * 0.85);
}

void DemoFramePainter::drawCaption(QPainter &painter, int number) const
{
    // A solid band on block borders: its flat black costs little next to the text on it.
    const int bandHeight = size.height() / 8 / 16 * 16;
    const QRect band(0, size.height() - bandHeight, size.width(), bandHeight);
    painter.fillRect(band, Qt::black);

    const int totalSeconds = number / fps;
    const QString caption = QStringLiteral("%1:%2.%3   frame %4")
                                .arg(totalSeconds / 60, 2, 10, QLatin1Char('0'))
                                .arg(totalSeconds % 60, 2, 10, QLatin1Char('0'))
                                .arg(number % fps, 2, 10, QLatin1Char('0'))
                                .arg(number, 4, 10, QLatin1Char('0'));
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(bandHeight / 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, caption);
}
