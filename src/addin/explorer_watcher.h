// CExplEvent: watches one Explorer window and, when it closes, decides whether it was the
// last window of Outlook (no other Explorer and no Inspector open); if so it tells its owner
// (OnLastWindowClosed, which begins the shutdown). Not reference-counted: the owner creates and
// deletes it, and the watcher sees it only as an ExplorerWatcherOwner.
// Runs on Outlook's user-interface thread only; nothing thrown leaves it.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include "addin/explorer_watcher_owner.h"
#include "com/event_sink.h"

class CExplEvent {
public:
    // Subscribes to the Explorer's events; a null Explorer or a failed subscription leaves a
    // watcher that never hears Close. No-throw.
    CExplEvent(IDispatch* explorer, ExplorerWatcherOwner* owner);
    // Unsubscribes (if still holding the Explorer) and releases the Explorer.
    ~CExplEvent();
    CExplEvent(const CExplEvent&) = delete;
    CExplEvent& operator=(const CExplEvent&) = delete;

    void Event_Explorer_Close();

    // The watcher's COM identity, as the connection point sees it.
    DWORD Cookie() const { return m_sink.Cookie(); }
    IDispatch* Explorer() const { return m_spExplorer.Get(); }

private:
    bool NoInspectorOpen();
    static void OnClose(void* target, DISPPARAMS* params);
    static const SinkEntry s_sinkTable[];

    EventSink m_sink; // sink 1: ExplorerEvents, uncounted
    Microsoft::WRL::ComPtr<IDispatch> m_spExplorer;
    ExplorerWatcherOwner* m_pOwner;
};
