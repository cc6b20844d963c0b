#pragma once

#include <QTemporaryDir>

// Points HOME (and the runtime folder the named locks live in) at a fresh temporary
// folder for the life of the object, so that no test touches the real ~/.zentrova.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    QString path() const { return dir.path(); }
    QString runtimePath() const { return dir.path() + QStringLiteral("/runtime"); }

private:
    QTemporaryDir dir;
    QByteArray oldHome;
    QByteArray oldRuntime;
};
