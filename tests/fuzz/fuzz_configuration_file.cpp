// Arbitrary bytes as "~/.zentrova/config.json", loaded the way the controller loads it at
// start. Besides crashes, leaks and hangs it checks that an unreadable file is kept as
// "config.json.bad", byte for byte, before anything replaces it; that only walls of a size
// the controller supports come back; and that the file written afterwards reads as settings
// and loads back to the same walls.
#include "base/oem_setting.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/vw_device.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QString settingsPath;

void silence(QtMsgType, const QMessageLogContext &, const QString &)
{
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The walls a controller lists after loading the file, one text each; a wall that breaks
// the wall rules ends the run.
QStringList loadedWalls(bool save)
{
    OemSetting oem;
    DeviceManager manager(&oem);
    QStringList walls;
    const DeviceListModel &list = *manager.rxlist();
    for (int row = 0; row < list.rowCount(); ++row) {
        const auto wall = qSharedPointerObjectCast<VWDevice>(list.at(row));
        if (!wall)
            continue;
        const QSize size = wall->size();
        if (size.width() < 1 || size.width() > 8 || size.height() < 1 || size.height() > 8
            || wall->cellNames().size() != size.width() * size.height() || wall->name().isEmpty())
            std::abort();
        walls << wall->name() + QLatin1Char('|') + wall->cellNames().join(QLatin1Char(','));
    }
    if (save && !manager.configurationFile()->saveNow())
        std::abort();
    return walls;
}

} // namespace

// Qt's libraries have no frame pointers: only whole stacks show that a leak lies inside
// Qt's own JSON parser, which tests/lsan.supp excuses.
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    qInstallMessageHandler(silence);
    QDir().mkpath(home.filePath(QStringLiteral(".zentrova")));
    settingsPath = home.filePath(QStringLiteral(".zentrova/config.json"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const QString keptPath = settingsPath + QStringLiteral(".bad");
    QFile::remove(keptPath);
    QFile file(settingsPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::abort();
    file.close();

    const QStringList walls = loadedWalls(true);

    const bool unreadable = !QJsonDocument::fromJson(content).isObject() && !content.trimmed().isEmpty();
    if (unreadable != QFile::exists(keptPath) || (unreadable && readFile(keptPath) != content))
        std::abort();
    if (!QJsonDocument::fromJson(readFile(settingsPath)).isObject() || loadedWalls(false) != walls)
        std::abort();
    return 0;
}
