// The settings file can be edited by hand or damaged: whatever it holds, loading must
// neither crash nor list a wall that breaks the wall rules, and what is saved must load
// back to the same walls.
#include "json_config.h"
#include "manager/access_lock.h"
#include "manager/configuration_file.h"
#include "manager/display_control.h"
#include "models/device_list_model.h"
#include "models/vw_device.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QStringList wallsOf(const DeviceListModel &list)
{
    QStringList walls;
    for (int row = 0; row < list.rowCount(); ++row) {
        const auto wall = list.at(row).objectCast<VWDevice>();
        if (!wall)
            std::abort();
        const QSize size = wall->size();
        if (size.width() < 1 || size.width() > 8 || size.height() < 1 || size.height() > 8
            || wall->cellNames().size() != size.width() * size.height() || wall->name().isEmpty())
            std::abort();
        walls << wall->name() + QLatin1Char('|') + wall->cellNames().join(QLatin1Char(','));
    }
    return walls;
}

QStringList loadAndSave(bool save)
{
    JsonConfig store(QStringLiteral("~/.zentrova/config.json"), false);
    DeviceListModel rx(&store), pending(&store), tx(&store);
    AccessLock lock;
    DisplayControl display(&rx);
    ConfigurationFile file(&store, {&rx, &pending, &tx}, &lock, &display);
    file.load();
    const QStringList walls = wallsOf(rx);
    if (save && !file.saveNow())
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
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/.zentrova/config.json");
    QFile::remove(path + QStringLiteral(".bad"));
    {
        const QString dir = path.left(path.lastIndexOf(QLatin1Char('/')));
        QFile::remove(path);
        QFile file(path);
        if (!QFile::exists(dir) && !QDir().mkpath(dir))
            std::abort();
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const QStringList loaded = loadAndSave(true);
    if (loadAndSave(false) != loaded)
        std::abort();
    return 0;
}
