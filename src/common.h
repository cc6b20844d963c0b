#pragma once

#include "platform/named_mutex.h"

#include <QByteArray>
#include <QString>
#include <memory>

class QCoreApplication;
class QTranslator;

extern const char *const SINGLETON_MUTEX_NAME;
extern const char *const RESTART_MUTEX_NAME;
constexpr int RESTART_WAIT_MS = 6000;

using NamedMutexSlot = std::unique_ptr<platform::NamedMutex>;

// Held for the life of the process; the restart routine closes the first.
extern NamedMutexSlot singletonMutex;
extern NamedMutexSlot restartMutex;

// "~/" becomes the home folder and backslashes become slashes. Unless expandOnly is
// set, the folder is created and, when no file is there, one holding initContent.
QString expandPathAndInitFile(const QString &path, bool expandOnly, const QByteArray &initContent);

// True when the caller now holds the named mutex in slot.
bool takeNamedMutex(NamedMutexSlot &slot, const QString &name, int timeoutMs);

// Starts a new copy of the program with "/reset" and leaves the event loop with 0. False
// when the copy could not be started: this one then keeps running and keeps its guard.
bool restartApplication();

// Picks the catalogue named by "lang.cfg" beside the program and installs it.
void loadLanguage(QCoreApplication *app, QTranslator *translator);

// The types the interface reaches through the manager's properties; QML reads nothing
// of a property whose type is not registered.
void registerInterfaceTypes();

// The catalogue resource for a language code as "lang.cfg" holds it.
QString translationFileFor(const QString &language);

// True when an OpenGL renderer string names a rasteriser that runs on the processor. There the
// scene graph's software backend costs far less: it repaints only what changed, while OpenGL
// draws the whole window again for every video frame.
bool isSoftwareRasterizer(const QByteArray &glRenderer);

// True when no user can see or answer a dialog (headless Qt platforms).
bool isHeadlessPlatform();
