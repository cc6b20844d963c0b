#include "app/interface_setup.h"

#include "base/paths.h"
#include "models/device_list_model.h"
#include "video/frame_view.h"
#include "video/mini_video_source.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSortFilterProxyModel>
#include <QTranslator>

namespace {

// "lang.cfg" is written by hand as often as by the installer.
bool isLanguage(const QString &language, const char *code)
{
    return language.compare(QLatin1String(code), Qt::CaseInsensitive) == 0;
}

} // namespace

QString translationFileFor(const QString &language)
{
    if (isLanguage(language, "zh_CN"))
        return QStringLiteral(":/translations/zentrova_zh_CN.qm");
    if (isLanguage(language, "zh_TW"))
        return QStringLiteral(":/translations/zentrova_zh_TW.qm");
    return QStringLiteral(":/translations/zentrova_en_US.qm");
}

QString loadLanguage(QCoreApplication *app, QTranslator *translator)
{
    const QString path = expandPathAndInitFile(
        QCoreApplication::applicationDirPath() + QStringLiteral("/lang.cfg"), true, QByteArray());
    QString language = QStringLiteral("en_US");
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        language = QString::fromLatin1(file.readLine(100));
    translator->load(translationFileFor(language));
    app->installTranslator(translator);
    return language;
}

QFont interfaceFont(const QString &language)
{
    // Windows' own UI fonts carry both scripts. Elsewhere the CJK family, whose Latin letters
    // are drawn to match its Chinese ones, leads for Chinese; for English the Latin family
    // leads and the CJK one of the same weight draws what it lacks.
    const bool traditional = isLanguage(language, "zh_TW");
    const bool chinese = traditional || isLanguage(language, "zh_CN");
    const QString cjk = traditional ? QStringLiteral("Noto Sans CJK TC") : QStringLiteral("Noto Sans CJK SC");
    const QString latin = QStringLiteral("Noto Sans");
    QFont font;
    font.setFamilies({traditional ? QStringLiteral("Microsoft JhengHei UI") : QStringLiteral("Microsoft YaHei UI"),
        chinese ? cjk : latin, chinese ? latin : cjk, QStringLiteral("Tahoma"), QStringLiteral("Arial")});
    font.setWeight(QFont::Normal);
    font.setPointSize(14);
    return font;
}

bool isSoftwareRasterizer(const QByteArray &glRenderer)
{
    // Mesa's llvmpipe, softpipe and classic swrast, and Windows' own OpenGL 1.1.
    static const char *const names[] = {"llvmpipe", "softpipe", "Software Rasterizer", "GDI Generic"};
    for (const char *name : names) {
        if (glRenderer.contains(name))
            return true;
    }
    return false;
}

void chooseRenderer()
{
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        return;
    QOpenGLContext probe;
    if (probe.create()) {
        QOffscreenSurface surface;
        surface.create();
        if (!probe.makeCurrent(&surface))
            return;
        const QByteArray renderer(reinterpret_cast<const char *>(probe.functions()->glGetString(GL_RENDERER)));
        probe.doneCurrent();
        if (!isSoftwareRasterizer(renderer))
            return;
        qInfo() << "OpenGL is drawn by the processor (" << renderer << "), drawing the window in software";
    } else {
        qWarning() << "OpenGL is not available, drawing in software";
    }
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}

bool isHeadlessPlatform()
{
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

void registerInterfaceTypes()
{
    qRegisterMetaType<QAbstractSocket::SocketError>();
    qRegisterMetaType<DeviceListModel *>("DeviceListModel*");
    qRegisterMetaType<MiniVideoSource *>("MiniVideoSource*");
    qRegisterMetaType<QSortFilterProxyModel *>("QSortFilterProxyModel*");
    qmlRegisterAnonymousType<DeviceListModel>("DeviceListModel", 1);
    qmlRegisterType<FrameView>("Zentrova.Video", 1, 0, "FrameView");
}
