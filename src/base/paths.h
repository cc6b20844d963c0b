#pragma once

#include <QByteArray>
#include <QString>

// "~/" becomes the home folder and backslashes become slashes. Unless expandOnly is
// set, the folder is created and, when no file is there, one holding initContent.
QString expandPathAndInitFile(const QString &path, bool expandOnly, const QByteArray &initContent);
