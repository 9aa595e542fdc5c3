// The server's lock count: live objects, class objects handed out and LockServer locks.
// The DLL may be unloaded only while it is zero.
#pragma once

#include <windows.h>

LONG LockModule();
LONG UnlockModule();
LONG ModuleLockCount();

// Holds one lock on the module for its lifetime: every COM object of ours has one.
class ModuleLockHolder {
public:
    ModuleLockHolder() { LockModule(); }
    ~ModuleLockHolder() { Release(); }
    ModuleLockHolder(const ModuleLockHolder&) = delete;
    ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
    // Gives the lock back early (a final release does this before the object is freed).
    void Release()
    {
        if (m_held) {
            m_held = false;
            UnlockModule();
        }
    }

private:
    bool m_held = true;
};
