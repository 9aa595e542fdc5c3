// Counts what this process holds (kernel handles, GDI objects, windows, threads), for leak
// checks that work on Wine too: Wine's GetProcessHandleCount and GetGuiResources always answer
// 0, so a check built on them could never fail. Call from any thread; nothing here throws.
//
// Each check compares once; what could move a count while nothing leaks is kept out of the
// measured window instead of being retried:
// - A thread started with std::thread (the MinGW thread library) may leave one event handle
//   behind: the library's internal lock gets its wait event the first time two threads contend
//   for it, when one starts or ends while another does, at a moment that depends on timing, and
//   keeps it for the life of the process. So no std::thread starts or ends between the two
//   counts of a check; a check's threads are made with CreateThread, or started before the
//   first count and ended after the second.
// - Threads are counted on their own, with CountThreads, at a quiet point: once every thread the
//   test started has ended, i.e. its handle is signalled. Wine's server drops an ending thread
//   from the snapshot and closes the handle it held for the thread in the process (a GUI
//   thread's desktop) in the same step in which it signals the thread's handle, so nothing of an
//   ended thread shows after that wait.
#pragma once

#include <windows.h>

#include <string>

struct ResourceCounts {
    int handles = 0;     // open kernel handles, found by probing the handle values
    int gdiObjects = 0;  // this process's entries in the shared GDI handle table
    int userObjects = 0; // this process's windows, child and message-only windows included

    bool operator==(const ResourceCounts& other) const;
    std::string Describe() const;
};

int CountOpenHandles();
int CountGdiObjects();
int CountUserObjects();
// This process's threads, counted on their own (see above).
int CountThreads();
ResourceCounts CountResources();
