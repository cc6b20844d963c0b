#include "frame_source.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 180;
constexpr int JPEG_QUALITY = 70;

} // namespace

FrameSource::FrameSource(const QString &label)
    : label(label)
{
}

bool FrameSource::loadFolder(const QString &folder)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList(
        {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.JPG")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files << file.readAll();
    }
    return !files.isEmpty();
}

QByteArray FrameSource::next()
{
    const quint64 index = counter++;
    if (!files.isEmpty())
        return files.at(int(index % quint64(files.size())));
    return drawFrame();
}

// Each device gets its own colour and a bar that moves, so that a person looking at the
// previews can tell them apart and see that they are live.
QByteArray FrameSource::drawFrame()
{
    QImage image(WIDTH, HEIGHT, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(qHash(label) % 360), 120, 90));
    QPainter painter(&image);
    painter.fillRect(int(counter * 8 % WIDTH), 0, 16, HEIGHT, Qt::white);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, label + QLatin1Char('\n') + QString::number(counter));
    painter.end();

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", JPEG_QUALITY);
    return jpeg;
}
