#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and writes for tests; a missing file reads as empty.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);
