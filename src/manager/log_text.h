#pragma once

#include <QString>

// Device names come from the network; written to the log as they are, a name holding a
// line break could forge log lines. Control characters are shown as \n, \r, \t or \xNN.
QString printableName(const QString &name);
