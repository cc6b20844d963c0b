#pragma once

#include "platform/named_mutex.h"

#include <QString>
#include <memory>

extern const char *const SINGLETON_MUTEX_NAME;
extern const char *const RESTART_MUTEX_NAME;
constexpr int RESTART_WAIT_MS = 6000;

using NamedMutexSlot = std::unique_ptr<platform::NamedMutex>;

// Held for the life of the process; the restart routine closes the first.
extern NamedMutexSlot singletonMutex;
extern NamedMutexSlot restartMutex;

// True when the caller now holds the named mutex in slot.
bool takeNamedMutex(NamedMutexSlot &slot, const QString &name, int timeoutMs);

// Starts a new copy of the program with "/reset" and leaves the event loop with 0. False
// when the copy could not be started: this one then keeps running and keeps its guard.
bool restartApplication();
