// The connection object's explorer watchers: the list owns them and deletes them when it is
// cleared or destroyed (a watcher still subscribed unsubscribes then). It grows one entry at a
// time, as two arrays of watcher pointers (keys and values) each reallocated to count + 1
// entries; when either reallocation fails the watcher is not listed (the key array keeps its
// larger size). Runs on Outlook's user-interface thread; never throws.
#pragma once

#include <memory>

class CExplEvent;

class ExplorerWatcherList {
public:
    ExplorerWatcherList() = default;
    ~ExplorerWatcherList() { Clear(); }
    ExplorerWatcherList(const ExplorerWatcherList&) = delete;
    ExplorerWatcherList& operator=(const ExplorerWatcherList&) = delete;

    // Takes the watcher into the list; a null one is passed over. A watcher that cannot be
    // listed is deleted at once, which unsubscribes it: left alive, it would never be deleted
    // and its Close could reach the owner after the owner's destruction.
    void Add(std::unique_ptr<CExplEvent> watcher) noexcept;
    // Deletes every watcher and empties the list.
    void Clear() noexcept;

    int Count() const noexcept { return m_nWatchers; }
    CExplEvent* At(int index) const noexcept { return m_aWatcherValues[index]; }

private:
    bool Append(CExplEvent* watcher) noexcept;

    CExplEvent** m_aWatcherKeys = nullptr;
    CExplEvent** m_aWatcherValues = nullptr;
    int m_nWatchers = 0;
};
