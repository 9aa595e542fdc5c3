#include "addin/explorer_watcher_list.h"

#include <cstdlib>

#include "addin/explorer_watcher.h"

void ExplorerWatcherList::Add(std::unique_ptr<CExplEvent> watcher) noexcept
{
    if (watcher && Append(watcher.get()))
        (void)watcher.release(); // the list owns it now
}

void ExplorerWatcherList::Clear() noexcept
{
    for (int i = 0; i < m_nWatchers; ++i)
        delete m_aWatcherValues[i];
    std::free(m_aWatcherKeys);
    std::free(m_aWatcherValues);
    m_aWatcherKeys = m_aWatcherValues = nullptr;
    m_nWatchers = 0;
}

bool ExplorerWatcherList::Append(CExplEvent* watcher) noexcept
{
    const size_t bytes = sizeof(CExplEvent*) * static_cast<size_t>(m_nWatchers + 1);
    CExplEvent** keys = static_cast<CExplEvent**>(std::realloc(m_aWatcherKeys, bytes));
    if (!keys)
        return false;
    m_aWatcherKeys = keys;
    m_aWatcherKeys[m_nWatchers] = nullptr;
    CExplEvent** values = static_cast<CExplEvent**>(std::realloc(m_aWatcherValues, bytes));
    if (!values)
        return false;
    m_aWatcherValues = values;
    m_aWatcherKeys[m_nWatchers] = watcher;
    m_aWatcherValues[m_nWatchers] = watcher;
    ++m_nWatchers;
    return true;
}
