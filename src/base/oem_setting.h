#pragma once

#include "base/json_config.h"

#include <QObject>
#include <QString>

// Branding read once from "custom.json" beside the program; every property is fixed
// after construction. Images are handed to the interface as URLs.
class OemSetting : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(QString splash READ splash CONSTANT)
    Q_PROPERTY(QString logo READ logo CONSTANT)
    Q_PROPERTY(QString tx_placeholder READ txPlaceholder CONSTANT)
    Q_PROPERTY(QString vw_placeholder READ vwPlaceholder CONSTANT)
    Q_PROPERTY(QString demoVideo READ demoVideo CONSTANT)
    Q_PROPERTY(QString icon READ icon CONSTANT)

public:
    explicit OemSetting(QObject *parent = nullptr);

    QString name() const { return appName; }
    QString version() const { return appVersion; }
    QString splash() const { return splashUrl; }
    QString logo() const { return logoUrl; }
    QString txPlaceholder() const { return txPlaceholderUrl; }
    QString vwPlaceholder() const { return vwPlaceholderUrl; }
    QString demoVideo() const { return demoVideoPath; }
    QString icon() const { return iconPath; }

    // Leaves "qrc:", "file:" and ":" paths alone and turns a local path into a file URL.
    static QString resolveUrl(const QString &path);

private:
    JsonConfig settings;
    QString appName;
    QString appVersion;
    QString splashUrl;
    QString logoUrl;
    QString txPlaceholderUrl;
    QString vwPlaceholderUrl;
    QString demoVideoPath;
    QString iconPath;
};
