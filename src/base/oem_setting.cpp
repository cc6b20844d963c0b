#include "base/oem_setting.h"

#include "platform/platform.h"

#include <QCoreApplication>
#include <QUrl>

OemSetting::OemSetting(QObject *parent)
    : QObject(parent)
    , settings(QCoreApplication::applicationDirPath() + QStringLiteral("/custom.json"), true)
{
    appName = settings.value(QStringLiteral("app_name"), "Brivolt Orvanta Lite");
    appVersion = settings.value(QStringLiteral("version"), "");
    splashUrl = resolveUrl(settings.value(QStringLiteral("splash_image"), "qrc:/images/logo.png"));
    logoUrl = resolveUrl(settings.value(QStringLiteral("logo_image"), "qrc:/images/logo-grey.png"));
    vwPlaceholderUrl = resolveUrl(settings.value(QStringLiteral("vw_placeholder_image"), ""));
    demoVideoPath = settings.value(QStringLiteral("demo_video"), "OrvantaLiteDemo.avi");
    iconPath = settings.value(QStringLiteral("icon_image"), ":/images/app-icon.png");

    if (appVersion.isEmpty())
        appVersion = platform::fileVersion();
    if (vwPlaceholderUrl.isEmpty()) {
        vwPlaceholderUrl = QStringLiteral("qrc:/images/rxzone-no-source.png");
        txPlaceholderUrl = QStringLiteral("qrc:/images/txcell-no-source.png");
    } else {
        txPlaceholderUrl = vwPlaceholderUrl;
    }
}

QString OemSetting::resolveUrl(const QString &path)
{
    if (path.startsWith(QLatin1String("qrc:")) || path.startsWith(QLatin1String("file:"))
        || path.startsWith(QLatin1Char(':')))
        return path;
    return QUrl::fromLocalFile(path).toString(QUrl::PrettyDecoded);
}
