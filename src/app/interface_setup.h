#pragma once

#include <QByteArray>
#include <QString>

class QCoreApplication;
class QFont;
class QTranslator;

// Picks the catalogue named by "lang.cfg" beside the program and installs it; returns the
// language's code.
QString loadLanguage(QCoreApplication *app, QTranslator *translator);

// The interface's font for a language as "lang.cfg" holds it. One family draws both the Latin
// and the Chinese letters of a label where it can, so that neither looks heavier.
QFont interfaceFont(const QString &language);

// The catalogue resource for a language code as "lang.cfg" holds it.
QString translationFileFor(const QString &language);

// The types the interface reaches through the manager's properties; QML reads nothing
// of a property whose type is not registered.
void registerInterfaceTypes();

// True when an OpenGL renderer string names a rasteriser that runs on the processor. There the
// scene graph's software backend costs far less: it repaints only what changed, while OpenGL
// draws the whole window again for every video frame.
bool isSoftwareRasterizer(const QByteArray &glRenderer);

// Without OpenGL the scene graph aborts the program, and OpenGL drawn by the processor redraws
// the whole window for every video frame: draw in software in both cases.
void chooseRenderer();

// True when no user can see or answer a dialog (headless Qt platforms).
bool isHeadlessPlatform();
