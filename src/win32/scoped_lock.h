// Locks held for one scope: an SRW lock taken exclusive or shared, or a critical section,
// released when the guard goes out of scope, however the scope is left. Any thread; nothing
// here throws.
#pragma once

#include <windows.h>

// Holds an SRW lock exclusive for the guard's lifetime.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

// Holds an SRW lock shared for the guard's lifetime.
class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) noexcept : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SharedLock() { ReleaseSRWLockShared(&m_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_lock;
};

// Holds a critical section for the guard's lifetime.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) noexcept : m_section(section)
    {
        EnterCriticalSection(&m_section);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&m_section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};
