// Counts what this process holds (kernel handles, GDI objects, windows, threads), for leak
// checks that work on Wine too: Wine's GetProcessHandleCount and GetGuiResources always answer
// 0, so a check built on them could never fail. Call from any thread; nothing here throws.
#pragma once

#include <windows.h>

#include <string>

struct ResourceCounts {
    int handles = 0;     // open kernel handles, found by probing the handle values
    int gdiObjects = 0;  // this process's entries in the shared GDI handle table
    int userObjects = 0; // this process's windows, child and message-only windows included
    int threads = 0;     // this process's threads

    bool operator==(const ResourceCounts& other) const;
    std::string Describe() const;
};

int CountOpenHandles();
int CountGdiObjects();
int CountUserObjects();
int CountThreads();
ResourceCounts CountResources();
