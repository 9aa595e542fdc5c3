// CConnect: the add-in object Outlook creates and drives through _IDTExtensibility2. It
// subscribes to Outlook's events, keeps one watcher per Explorer window and, at its first
// OnBeginShutdown, starts the shutdown worker; its final release stops and waits for it.
// Runs on Outlook's user-interface thread; the worker reads only the running flag, the stop
// event, the bridge and the Application reference. Nothing here throws.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <atomic>

#include "addin/addin_interfaces.h"
#include "com/dispatch_impl.h"
#include "com/event_sink.h"
#include "com/module_lock.h"

class CExplEvent;
class LogFile;
class OutlookThreadBridge;

// What a new connection object sets up for itself, each part on its own so that one failing
// leaves the others in place. Tests stand in for the parts to make them fail.
struct ConnectSetup {
    LogFile* (*openLog)();                  // the log; null without one; may throw
    HANDLE (*createStopEvent)();            // the worker's stop event; null on failure
    OutlookThreadBridge* (*createBridge)(); // the bridge to this thread; null on failure
};

class CConnect final : public DispatchImpl<IConnect>, public DispatchImpl<_IDTExtensibility2> {
public:
    // The class object's create function: E_POINTER, CLASS_E_NOAGGREGATION, E_OUTOFMEMORY,
    // or the result of construction and of the query for riid. No-throw.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
    // The set-up used by objects created from now on; null puts the usual one back. Not for
    // use while objects are being created on another thread.
    static void UseSetup(const ConnectSetup* setup);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // _IDTExtensibility2
    STDMETHODIMP OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                              SAFEARRAY** custom) override;
    STDMETHODIMP OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;

    // What the watchers and the worker use of their owner.
    IDispatch* Application() const { return m_spApplication.Get(); }
    IDispatch* ExplorersCollection() const { return m_spExplorers.Get(); }
    _IDTExtensibility2* Extensibility() { return static_cast<_IDTExtensibility2*>(this); }
    // Set before the worker starts, cleared by the final release; the worker only reads it.
    bool IsRunning() const { return m_bRunning.load(); }
    // Signalled by the final release, so that a waiting worker stops at once.
    HANDLE StopEvent() const { return m_hStopEvent; }
    // The bridge to Outlook's thread, only when it is whole (its window and the stop event,
    // without which a waiting worker could never be stopped); null otherwise, and the worker
    // then makes no Outlook call.
    OutlookThreadBridge* Bridge() const { return m_hStopEvent ? m_pBridge : nullptr; }
    HANDLE WorkerThread() const { return m_hThread; }
    int WatcherCount() const { return m_nWatchers; }
    CExplEvent* Watcher(int index) const { return m_aWatcherValues[index]; }
    DWORD ApplicationCookie() const { return m_applicationSink.Cookie(); }
    DWORD ExplorersCookie() const { return m_explorersSink.Cookie(); }

private:
    CConnect();
    ~CConnect();
    CConnect(const CConnect&) = delete;
    CConnect& operator=(const CConnect&) = delete;

    HRESULT FinalConstruct();
    void FinalRelease();
    IUnknown* Identity() { return static_cast<IConnect*>(this); }
    // A reference for the length of a call: a final release that the call sets off (its last
    // unsubscription, while Outlook holds no reference) waits until the call has returned.
    Microsoft::WRL::ComPtr<IUnknown> KeepAlive() { return Identity(); }
    // Gives back the reference that OnBeginShutdown holds for its call (see there).
    void ReleaseAfterShutdownCall();
    static VOID CALLBACK ReleaseFromMessageLoop(HWND, UINT, UINT_PTR timer, DWORD);

    void Disconnect();
    void DeleteWatchers();
    void Event_Explorers_New(IDispatch* explorer);
    void Event_Appliance_Quit();
    void AddWatcher(CExplEvent* watcher);
    bool AppendWatcher(CExplEvent* watcher);
    HRESULT StartupComplete();

    static void OnOptionsPagesAdd(void* target, DISPPARAMS* params);
    static void OnNewExplorer(void* target, DISPPARAMS* params);
    static void OnQuit(void* target, DISPPARAMS* params);
    static const SinkEntry s_sinkTable[];

    EventSink m_applicationSink; // sink 1: ApplicationEvents
    EventSink m_explorersSink;   // sink 3: ExplorersEvents
    LONG m_dwRef = 0;
    int m_bConnected = 0;
    std::atomic<bool> m_bRunning{false};
    HANDLE m_hThread = nullptr;
    HANDLE m_hStopEvent = nullptr;
    OutlookThreadBridge* m_pBridge = nullptr;
    Microsoft::WRL::ComPtr<IDispatch> m_spApplication;
    Microsoft::WRL::ComPtr<IDispatch> m_spExplorers;
    CExplEvent** m_aWatcherKeys = nullptr;
    CExplEvent** m_aWatcherValues = nullptr;
    int m_nWatchers = 0;
    LogFile* m_pLog = nullptr;
    ModuleLockHolder m_moduleLock;
};
