#include "com/module_lock.h"

#include <atomic>

namespace {
std::atomic<LONG> g_lockCount{0};
}

LONG LockModule()
{
    return ++g_lockCount;
}

LONG UnlockModule()
{
    return --g_lockCount;
}

LONG ModuleLockCount()
{
    return g_lockCount.load();
}
