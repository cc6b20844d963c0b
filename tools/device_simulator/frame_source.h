#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The preview pictures of a simulated encoder as JPEG bytes: the files of a folder in
// name order, over and over, or a small picture drawn fresh for every frame.
class FrameSource
{
public:
    explicit FrameSource(const QString &label);

    // Takes the *.jpg / *.jpeg files of `folder`; false when there are none.
    bool loadFolder(const QString &folder);
    QByteArray next();

private:
    QByteArray drawFrame();

    QString label;
    QList<QByteArray> files;
    quint64 counter = 0;
};
