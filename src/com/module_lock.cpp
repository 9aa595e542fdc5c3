#include "com/module_lock.h"

namespace {
volatile LONG g_lockCount = 0;
}

LONG LockModule()
{
    return InterlockedIncrement(&g_lockCount);
}

LONG UnlockModule()
{
    return InterlockedDecrement(&g_lockCount);
}

LONG ModuleLockCount()
{
    return InterlockedCompareExchange(&g_lockCount, 0, 0);
}
