#include "app/file_picker.h"

#include <QFileDialog>

QString FilePicker::filter()
{
    return tr("Configuration files (*.json);;All files (*)");
}

QString FilePicker::fileToWrite(const QString &title, const QString &suggested) const
{
    return QFileDialog::getSaveFileName(nullptr, title, suggested, filter(), nullptr, QFileDialog::DontConfirmOverwrite);
}

QString FilePicker::fileToRead(const QString &title, const QString &suggested) const
{
    return QFileDialog::getOpenFileName(nullptr, title, suggested, filter());
}
