#include "common.h"

#include "frame_view.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "platform/platform.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlEngine>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTranslator>

const char *const SINGLETON_MUTEX_NAME = "ZENTROVA_SINGLETON_MUTEX";
const char *const RESTART_MUTEX_NAME = "ZENTROVA_RESTART_MUTEX";

NamedMutexSlot singletonMutex;
NamedMutexSlot restartMutex;

QString expandPathAndInitFile(const QString &path, bool expandOnly, const QByteArray &initContent)
{
    QString result;
    if (path.startsWith(QLatin1String("~/"))) {
        result
            = QStringLiteral("%1/%2").arg(QStandardPaths::writableLocation(QStandardPaths::HomeLocation), path.mid(2));
    } else {
        result = path;
    }
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (expandOnly)
        return result;

    const int slash = result.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QString dir = result.left(slash);
        if (!dir.isEmpty() && !QDir().mkpath(dir))
            qWarning().noquote() << "Error, cannot create dir" << dir;
    }
    if (!QFile::exists(result)) {
        QFile file(result);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(initContent);
            file.close();
        }
    }
    return result;
}

bool takeNamedMutex(NamedMutexSlot &slot, const QString &name, int timeoutMs)
{
    if (slot)
        return true;
    platform::NamedMutex::OpenResult opened;
    slot = platform::NamedMutex::createOrOpen(name, &opened);
    if (!slot)
        return false;
    if (opened == platform::NamedMutex::OpenResult::Created)
        return true;
    return slot->wait(timeoutMs);
}

bool restartApplication()
{
    const QString program = platform::executablePath();
    if (!restartMutex) {
        platform::NamedMutex::OpenResult ignored;
        restartMutex = platform::NamedMutex::createOrOpen(QString::fromLatin1(RESTART_MUTEX_NAME), &ignored);
    }
    // The new copy must find the single-instance guard free, and waits on the restart
    // guard until this one has ended.
    singletonMutex.reset();
    qint64 pid = 0;
    if (!QProcess::startDetached(program, {QStringLiteral("/reset")}, QString(), &pid)) {
        qWarning().noquote() << "Could not start" << program << "for the restart";
        restartMutex.reset();
        takeNamedMutex(singletonMutex, QString::fromLatin1(SINGLETON_MUTEX_NAME), 0);
        return false;
    }
    qInfo().noquote() << "Restarted as process" << pid;
    QCoreApplication::exit(0);
    return true;
}

QString translationFileFor(const QString &language)
{
    if (language.compare(QLatin1String("zh_CN"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(":/translations/zentrova_zh_CN.qm");
    if (language.compare(QLatin1String("zh_TW"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(":/translations/zentrova_zh_TW.qm");
    return QStringLiteral(":/translations/zentrova_en_US.qm");
}

void loadLanguage(QCoreApplication *app, QTranslator *translator)
{
    const QString path = expandPathAndInitFile(
        QCoreApplication::applicationDirPath() + QStringLiteral("/lang.cfg"), true, QByteArray());
    QString language = QStringLiteral("en_US");
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        language = QString::fromLatin1(file.readLine(100));
    translator->load(translationFileFor(language));
    app->installTranslator(translator);
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
