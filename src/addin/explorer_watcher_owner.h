// What an Explorer watcher needs of the object that owns it (the connection object): Outlook's
// Application and Explorers, where to hand the Version it read, and the call that begins the
// shutdown once Outlook's last window has closed. The watcher knows its owner only through this.
// Called on Outlook's user-interface thread while the owner lives: the owner deletes its
// watchers before it goes.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

class ExplorerWatcherOwner {
public:
    virtual IDispatch* Application() const noexcept = 0;
    virtual IDispatch* ExplorersCollection() const noexcept = 0;
    // The Version read at a window's close, so that the shutdown it begins need not read it
    // again. Throws std::bad_alloc.
    virtual void NoteOutlookVersion(const std::string& version) = 0;
    // Outlook's last window closed with no item open: the owner begins the shutdown, which may
    // delete the watcher inside the call. No-throw.
    virtual void OnLastWindowClosed() noexcept = 0;

protected:
    ~ExplorerWatcherOwner() = default;
};
