#pragma once

#include <QByteArray>
#include <QString>

// "~/" becomes the home folder and backslashes become slashes. Unless expandOnly is
// set, the folder is created (readable by the owner only) and, when no file is there, one
// holding initContent, readable and writable by the owner only.
QString expandPathAndInitFile(const QString &path, bool expandOnly, const QByteArray &initContent);

// Replaces the file at path with content so that, also after a crash or a power cut, it
// holds either all of its old content or all of the new, readable and writable by the owner
// only. Every step is checked: false, with *error saying why, leaves the old file as it was.
bool writeFileDurably(const QString &path, const QByteArray &content, QString *error = nullptr);
