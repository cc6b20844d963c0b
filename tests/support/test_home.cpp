#include "test_home.h"

#include <QDir>

TestHome::TestHome() : oldHome(qgetenv("HOME")), oldRuntime(qgetenv("XDG_RUNTIME_DIR"))
{
    QDir().mkpath(runtimePath());
    QFile::setPermissions(runtimePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimePath()));
}

TestHome::~TestHome()
{
    qputenv("HOME", oldHome);
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
}
