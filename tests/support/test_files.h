#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and writes for tests; a missing file reads as empty.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);
// The permission bits of a file as the file system holds them (0600: its owner's alone); 0 when missing.
int fileMode(const QString &path);
