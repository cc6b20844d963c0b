#pragma once

#include <QString>
#include <QTemporaryDir>

// A tiny file system (tmpfs) mounted on a temporary folder in a mount namespace of the test
// process's own, so that a full disk can be made and cleared without touching the machine's:
// the mount goes with the process whatever way it ends. Needs root (or CAP_SYS_ADMIN).
class SmallDisk
{
public:
    explicit SmallDisk(int kibibytes);
    ~SmallDisk();

    // False, with the reason in error(), when it could not be mounted.
    bool isMounted() const { return mounted; }
    QString error() const { return reason; }
    QString path() const { return dir.path(); }
    // Fills what is left with one file; false when the disk did not fill.
    bool fill();
    // Removes the filling.
    void clear();

private:
    QTemporaryDir dir;
    bool mounted = false;
    QString reason;
};
