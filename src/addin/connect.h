// CConnect: the add-in object Outlook creates and drives through _IDTExtensibility2. It
// subscribes to Outlook's events, keeps one watcher per Explorer window and, at its first
// OnBeginShutdown, starts the shutdown worker; its final release stops and waits for it.
// Runs on Outlook's user-interface thread; the worker uses it only as its ShutdownOwner (the
// run state, the stop event and the bridged request to Outlook, whose answer it gets as a
// value), the watchers only as their ExplorerWatcherOwner. Nothing here throws.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>

#include "addin/addin_interfaces.h"
#include "addin/explorer_watcher_list.h"
#include "addin/explorer_watcher_owner.h"
#include "addin/outlook_end_request.h"
#include "com/dispatch_impl.h"
#include "com/event_sink.h"
#include "com/module_lock.h"
#include "win32/raii.h"
#include "shutdown/shutdown_owner.h"

class CExplEvent;
class LogFile;
class OutlookThreadBridge;

// What a new connection object sets up for itself, each part on its own so that one failing
// leaves the others in place. Tests stand in for the parts to make them fail.
struct ConnectSetup {
    LogFile* (*openLog)();                                  // the log; null without one; may throw
    HANDLE (*createStopEvent)();                            // the worker's stop event; null on failure
    std::unique_ptr<OutlookThreadBridge> (*createBridge)(); // the bridge to this thread; null on failure
};

class CConnect final : public DispatchImpl<IConnect>,
                       public DispatchImpl<_IDTExtensibility2>,
                       public ShutdownOwner,
                       public ExplorerWatcherOwner {
public:
    // The class object's create function: E_POINTER, CLASS_E_NOAGGREGATION, E_OUTOFMEMORY,
    // or the result of construction and of the query for riid. No-throw.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept;
    // The set-up used by objects created from now on; null puts the usual one back. Not for
    // use while objects are being created on another thread.
    static void UseSetup(const ConnectSetup* setup) noexcept;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // _IDTExtensibility2
    STDMETHODIMP OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                              SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) noexcept override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) noexcept override;

    // ShutdownOwner: what the worker uses of this object, on the worker's thread.
    // Running from just before the worker starts until the final release or the worker's
    // decision to end Outlook, whichever comes first.
    bool IsRunning() const noexcept override { return m_runState.load() == RunState::Running; }
    // The worker's side of the one decision to end Outlook (the final release takes the other).
    bool DecideToEnd() noexcept override { return MoveFromRunning(RunState::Ending); }
    // Signalled by the final release, so that a waiting worker stops at once.
    HANDLE StopEvent() const noexcept override { return m_stopEvent.get(); }
    // Logs off and quits Outlook on this object's thread, through the bridge; Failed with
    // E_UNEXPECTED, before any Outlook call, without a whole bridge.
    OutlookEndAnswer AskOutlookToEnd() noexcept override;

    // A watcher hands over the Version it read at a window's close, so that the shutdown it
    // begins does not read it again. Only the first one counts; the worker gets a copy at its
    // start. Throws std::bad_alloc.
    void NoteOutlookVersion(const std::string& version) override
    {
        if (m_bVersionKnown)
            return;
        m_outlookVersion = version;
        m_bVersionKnown = true;
    }

    // ExplorerWatcherOwner: what the watchers use of this object, on this object's thread.
    IDispatch* Application() const noexcept override { return m_spApplication.Get(); }
    IDispatch* ExplorersCollection() const noexcept override { return m_spExplorers.Get(); }
    // A watcher saw Outlook's last window close: the shutdown begins as at Outlook's Quit.
    void OnLastWindowClosed() noexcept override { (void)Extensibility()->OnBeginShutdown(nullptr); }
    _IDTExtensibility2* Extensibility() { return static_cast<_IDTExtensibility2*>(this); }
    // The bridge to Outlook's thread, only when it is whole (its window and the stop event,
    // without which a waiting worker could never be stopped); null otherwise, and the worker
    // then makes no Outlook call.
    OutlookThreadBridge* Bridge() const { return m_stopEvent ? m_bridge.get() : nullptr; }
    HANDLE WorkerThread() const { return m_thread.get(); }
    int WatcherCount() const { return m_watchers.Count(); }
    CExplEvent* Watcher(int index) const { return m_watchers.At(index); }
    DWORD ApplicationCookie() const { return m_applicationSink.Cookie(); }
    DWORD ExplorersCookie() const { return m_explorersSink.Cookie(); }

private:
    // The run of the worker: none yet, running, then ending (the worker decided to end
    // Outlook) or released (the final release came first). Only one of the two moves away from
    // running can succeed.
    enum class RunState { Idle, Running, Ending, Released };
    bool MoveFromRunning(RunState to) noexcept
    {
        RunState expected = RunState::Running;
        return m_runState.compare_exchange_strong(expected, to);
    }

    CConnect();
    ~CConnect();
    CConnect(const CConnect&) = delete;
    CConnect& operator=(const CConnect&) = delete;

    HRESULT FinalConstruct() noexcept;
    void FinalRelease() noexcept;
    IUnknown* Identity() { return static_cast<IConnect*>(this); }
    // A reference for the length of a call: a final release that the call sets off (its last
    // unsubscription, while Outlook holds no reference) waits until the call has returned.
    Microsoft::WRL::ComPtr<IUnknown> KeepAlive() { return Identity(); }
    // Gives back the reference that OnBeginShutdown holds for its call (see there).
    void ReleaseAfterShutdownCall();
    static VOID CALLBACK ReleaseFromMessageLoop(HWND, UINT, UINT_PTR timer, DWORD) noexcept;

    // The bodies of OnConnection and OnStartupComplete: what escapes becomes their HRESULT.
    HRESULT Connect(IDispatch* application) noexcept;
    HRESULT StartupComplete(bool& enabled) noexcept;
    // Reads Outlook's Version for the worker's Event Log entries, unless a watcher handed it over.
    void ReadOutlookVersion() noexcept;
    // Starts the worker with what it is handed (this object as its owner, the version).
    void StartWorker() noexcept;
    void Disconnect();
    void Event_Explorers_New(IDispatch* explorer);
    void Event_Appliance_Quit();

    static void OnOptionsPagesAdd(void* target, DISPPARAMS* params);
    static void OnNewExplorer(void* target, DISPPARAMS* params);
    static void OnQuit(void* target, DISPPARAMS* params);
    static const SinkEntry s_sinkTable[];

    EventSink m_applicationSink; // sink 1: ApplicationEvents
    EventSink m_explorersSink;   // sink 3: ExplorersEvents
    LONG m_dwRef = 0;
    int m_bConnected = 0;
    std::atomic<RunState> m_runState{RunState::Idle};
    // Destroyed in the reverse order: the watchers first, then the Explorers and Application
    // references, the bridge, the worker's handle and the stop event.
    UniqueHandle m_stopEvent;
    UniqueHandle m_thread;
    std::unique_ptr<OutlookThreadBridge> m_bridge;
    Microsoft::WRL::ComPtr<IDispatch> m_spApplication;
    std::string m_outlookVersion;
    bool m_bVersionKnown = false;
    Microsoft::WRL::ComPtr<IDispatch> m_spExplorers;
    ExplorerWatcherList m_watchers;
    ModuleLockHolder m_moduleLock;
};
