#include "addin/connect.h"

#include <type_traits>
#include <atomic>
#include <cstring>
#include <map>
#include <new>

#include "addin/addin_language.h"
#include "addin/explorer_watcher.h"
#include "addin/outlook_end_request.h"
#include "addin/outlook_thread_bridge.h"
#include "com/com_error.h"
#include "com/create_object.h"
#include "com/interface_table.h"
#include "win32/module_instance.h"
#include "log/crash_record.h"
#include "log/event_log.h"
#include "log/info_dialog.h"
#include "log/log_file.h"
#include "log/log_result.h"
#include "outlook/outlook.h"
#include "resource_ids/string_ids.h"
#include "settings/options_pages_add.h"
#include "settings/settings_store.h"
#include "shutdown/shutdown_thread.h"
#include "win32/scope_exit.h"

namespace {

HANDLE CreateStopEvent()
{
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// The log, and beside it the file that the exception filters write a crash record to.
LogFile* OpenUsualLog()
{
    LogFile* log = OpenAddinLog();
    if (log)
        PrepareCrashRecord(ParentFolder(log->LogPath()));
    return log;
}

// Once in Outlook's run, however often Outlook loads the add-in again: the Event Log hears that
// an administrator's policy keeps the add-in switched off. The mark is an atom in the process's
// own table, which outlives this DLL when COM unloads it between two loads. Outlook's thread only.
constexpr wchar_t kDisabledByPolicyReported[] = L"Vantrel.DisabledByPolicyReported";

void ReportIfDisabledByPolicy() noexcept
{
    SettingText enforced;
    if (!ReadPolicySetting(Setting::Enabled, enforced) || std::strcmp(enforced, "0") != 0)
        return; // off by the user's own choice, which is theirs to make
    if (FindAtomW(kDisabledByPolicyReported) != 0)
        return;
    (void)AddAtomW(kDisabledByPolicyReported); // kept for the rest of the process; without it, one more entry at a reload
    (void)ReportAddinEvent(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_DISABLED_BY_POLICY, {}, kEventReportOutlookWaitMs);
}

const ConnectSetup kUsualSetup = {OpenUsualLog, CreateStopEvent, OutlookThreadBridge::Create};
std::atomic<const ConnectSetup*> g_setup{&kUsualSetup};

// Objects whose last reference is given back from Outlook's message loop, by thread timer.
// Used on Outlook's thread only.
std::map<UINT_PTR, CConnect*>& PendingReleases()
{
    static std::map<UINT_PTR, CConnect*> pending;
    return pending;
}

// Enters a release for the message loop's timer; false when there is no memory for the entry.
bool AddPendingRelease(UINT_PTR timer, CConnect* connect) noexcept
{
    try {
        PendingReleases()[timer] = connect;
        return true;
    }
    CATCH_RETURN_VALUE(false)
}

// The log, or null: without a log the add-in still works.
LogFile* OpenLog(const ConnectSetup& setup) noexcept
{
    try {
        return setup.openLog();
    }
    CATCH_RETURN_VALUE(nullptr)
}

} // namespace

void CConnect::UseSetup(const ConnectSetup* setup) noexcept
{
    g_setup.store(setup ? setup : &kUsualSetup);
}

const SinkEntry CConnect::s_sinkTable[] = {
    {1, &IID_Outlook_ApplicationEvents, kDispidOptionsPagesAdd, &CConnect::OnOptionsPagesAdd},
    {3, &IID_Outlook_ExplorersEvents, kDispidNewExplorer, &CConnect::OnNewExplorer},
    {1, &IID_Outlook_ApplicationEvents, kDispidApplicationQuit, &CConnect::OnQuit},
};

CConnect::CConnect()
    : DispatchImpl<IConnect>(LIBID_VantrelLib, 1, 0, IID_IConnect),
      DispatchImpl<_IDTExtensibility2>(LIBID_AddInDesignerObjects, 1, 0, IID__IDTExtensibility2),
      m_applicationSink(1, IID_Outlook_ApplicationEvents, s_sinkTable, 3, this, Identity()),
      m_explorersSink(3, IID_Outlook_ExplorersEvents, s_sinkTable, 3, this, Identity())
{
}

// The members let go of what they own: the watchers, the references, the bridge, the handles.
CConnect::~CConnect() = default;

HRESULT CConnect::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept
{
    return CreateComObject(
        outer, riid, ppv, [] { return new (std::nothrow) CConnect(); },
        [](CConnect* object) { return object->FinalConstruct(); });
}

// Each part is set up on its own: a log that cannot be set up must not leave the worker
// without its way to this thread.
HRESULT CConnect::FinalConstruct() noexcept
{
    const ConnectSetup& setup = *g_setup.load();
    (void)OpenLog(setup); // the process-wide log, which LogMessage writes to
    // The bridge and the stop event are what the worker needs to reach this thread.
    m_stopEvent.reset(setup.createStopEvent());
    m_bridge = setup.createBridge();
    return LogResult("Connect<FinalConstruct>", S_OK);
}

STDMETHODIMP CConnect::QueryInterface(REFIID riid, void** ppv) noexcept
{
    // IUnknown is the IConnect pointer: the object's identity.
    static constexpr InterfaceEntry<CConnect> kInterfaces[] = {
        InterfaceRow<CConnect, IConnect>(IID_IUnknown),
        InterfaceRow<CConnect, IConnect>(IID_IConnect),
        InterfaceRow<CConnect, _IDTExtensibility2>(IID_IDispatch),
        InterfaceRow<CConnect, _IDTExtensibility2>(IID__IDTExtensibility2),
    };
    return QueryInterfaceFromTable(this, kInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) CConnect::AddRef() noexcept
{
    return static_cast<ULONG>(++m_dwRef);
}

STDMETHODIMP_(ULONG) CConnect::Release() noexcept
{
    const LONG count = --m_dwRef;
    if (count == 0) {
        FinalRelease();
        delete this;
    }
    return static_cast<ULONG>(count);
}

void CConnect::FinalRelease() noexcept
{
    LogMessage(0, "Connect<FinalRelease>");
    if (MoveFromRunning(RunState::Released)) {
        // Outlook ends by itself: a waiting worker stops at once and ends without ending it.
        if (m_stopEvent)
            SetEvent(m_stopEvent.get());
        if (m_thread)
            WaitForSingleObject(m_thread.get(), INFINITE);
    } else if (m_runState.load() == RunState::Ending && m_thread) {
        // Too late: the worker has decided to end Outlook, and its bounded waits for its Event
        // Log entries are not cut short. It ends the process; only when that fails does it return.
        WaitForSingleObject(m_thread.get(), INFINITE);
    }
    (void)LogResult("Connect<FinalRelease>", S_OK);
    LogFile::DestroyInstance();
    m_moduleLock.Release();
    // The members then delete the watchers and release the Explorers and Application references.
}

STDMETHODIMP CConnect::OnConnection(IDispatch* application, ext_ConnectMode, IDispatch*, SAFEARRAY**) noexcept
{
    LogMessage(0, "Connect<OnConnection> ==> Connecting ... ");
    return LogResult("Connect<OnConnection>", Connect(application));
}

HRESULT CConnect::Connect(IDispatch* application) noexcept
{
    try {
        m_spApplication.Reset();
        if (application) {
            Microsoft::WRL::ComPtr<IDispatch> app;
            const HRESULT query = application->QueryInterface(IID_Outlook_Application, &app);
            if (FAILED(query) && query != E_NOINTERFACE)
                throw ComError(query, IID_Outlook_Application);
            m_spApplication = app;
        }
        (void)ChooseAddinLanguage(m_spApplication.Get()); // before any text is shown
        m_bConnected = 1;
        SeedUserSettings();
        const HRESULT hr = m_applicationSink.Advise(m_spApplication.Get());
        if (FAILED(hr))
            InfoDialog(IDS_INFO_APPLICATION_ADVISE);
        return hr;
    }
    CATCH_RETURN()
}

STDMETHODIMP CConnect::OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY**) noexcept
{
    LogMessage(0, "Connect<OnDisconnection> ==> Disconnecting ... ");
    // The user switched the add-in off: it lets go of every event, so that Outlook's release
    // ends it and nothing of it acts any more. Outlook shutting down keeps the subscriptions.
    if (removeMode == ext_dm_UserClosed)
        Disconnect();
    return S_OK;
}

// Unsubscribes from everything and deletes the watchers; a later OnBeginShutdown does nothing.
void CConnect::Disconnect()
{
    const Microsoft::WRL::ComPtr<IUnknown> keepAlive = KeepAlive();
    m_bConnected = 0;
    // Failures are not shown: the user has just turned the add-in off, and the cookies are
    // reset whatever the result.
    if (m_explorersSink.Subscribed())
        (void)m_explorersSink.Unadvise(m_spExplorers.Get());
    if (m_applicationSink.Subscribed())
        (void)m_applicationSink.Unadvise(m_spApplication.Get());
    m_watchers.Clear(); // each watcher still holding its Explorer unsubscribes from it
}

STDMETHODIMP CConnect::OnAddInsUpdate(SAFEARRAY**) noexcept
{
    LogMessage(0, "Connect<OnAddInsUpdate>");
    return E_NOTIMPL;
}

STDMETHODIMP CConnect::OnStartupComplete(SAFEARRAY**) noexcept
{
    LogMessage(0, "Connect<OnStartupComplete> ==> ");
    if (!m_bConnected)
        return E_NOTIMPL;
    bool enabled = true;
    const HRESULT hr = StartupComplete(enabled);
    // A disabled add-in returns without the result line; a failed Outlook call writes it.
    return enabled ? LogResult("Connect<OnStartupComplete>", hr) : hr;
}

// The body of OnStartupComplete once connected: the result of the Explorers subscription, or
// the failure of an Outlook call. `enabled` is cleared when the add-in is switched off.
HRESULT CConnect::StartupComplete(bool& enabled) noexcept
{
    try {
        Microsoft::WRL::ComPtr<IDispatch> explorers = Outlook::Explorers(m_spApplication.Get());
        if (explorers.Get() != m_spExplorers.Get())
            m_spExplorers = explorers;
        const HRESULT hr = m_explorersSink.Advise(m_spExplorers.Get());
        if (FAILED(hr))
            InfoDialog(IDS_INFO_EXPLORERS_ADVISE);
        enabled = Addin_Enabled() != 0;
        if (!enabled) {
            ReportIfDisabledByPolicy();
            return S_OK;
        }
        // The method's name once more on purpose: it marks an enabled start-up in the log.
        LogMessage(0, "Connect<OnStartupComplete>");
        // ActiveExplorer is read twice on purpose: the first read only tests for an Explorer
        // (and is released at once), the watcher gets a reference of its own. Outlook sees both.
        if (Outlook::ActiveExplorer(m_spApplication.Get())) {
            Microsoft::WRL::ComPtr<IDispatch> active = Outlook::ActiveExplorer(m_spApplication.Get());
            m_watchers.Add(std::unique_ptr<CExplEvent>(new (std::nothrow) CExplEvent(active.Get(), this)));
        }
        return hr;
    }
    CATCH_RETURN()
}

STDMETHODIMP CConnect::OnBeginShutdown(SAFEARRAY**) noexcept
{
    LogMessage(0, "Connect<OnBeginShutdown> ==> ");
    if (!m_bConnected)
        return S_OK;
    // Outlook may hold no reference any more (it let go early): then the second unsubscription
    // below drops the last one. The object stays alive until this call has returned, and its
    // final release comes after it.
    AddRef();
    const auto callReference = MakeScopeExit([this] { ReleaseAfterShutdownCall(); });
    m_bConnected = 0;
    if (m_spExplorers && FAILED(m_explorersSink.Unadvise(m_spExplorers.Get())))
        InfoDialog(IDS_INFO_EXPLORERS_UNADVISE);
    if (m_spApplication && FAILED(m_applicationSink.Unadvise(m_spApplication.Get())))
        InfoDialog(IDS_INFO_APPLICATION_UNADVISE);
    // One worker in the object's life: Outlook may connect the object again after a shutdown,
    // and a second worker would outlive the final release, which waits for the first only.
    if (Addin_Enabled() && !m_thread) {
        // The worker runs this DLL's code to the end of the process, past an Outlook that leaves
        // COM (which unloads the DLL) without releasing this object first. A failed pin leaves
        // the risk as it was; the worker is started all the same.
        (void)PinModule();
        ReadOutlookVersion();
        m_runState.store(RunState::Running);
        StartWorker();
    }
    return S_OK;
}

// The worker gets this object's address, as its ShutdownOwner, and no reference: the final
// release ends the run, signals the stop event and waits for the thread, so the object outlives
// the worker. Once the event is signalled the worker calls Outlook no more. What it reads once
// (the version read here) it gets as its own copy; it frees the start itself. Without memory
// for the version the entries say "unknown"; without a start there is no worker.
void CConnect::StartWorker() noexcept
{
    std::unique_ptr<ShutdownStart> start(new (std::nothrow) ShutdownStart);
    if (!start)
        return;
    start->owner = this;
    try {
        start->outlookVersion = m_outlookVersion;
    } catch (...) {
        start->outlookVersion.clear();
    }
    m_thread.reset(CreateThread(nullptr, 0, ShutdownThread, start.get(), 0, nullptr));
    if (m_thread)
        (void)start.release(); // the worker's now
}

OutlookEndAnswer CConnect::AskOutlookToEnd() noexcept
{
    OutlookThreadBridge* bridge = Bridge();
    if (!bridge) {
        OutlookEndAnswer none;
        none.result = E_UNEXPECTED;
        return none;
    }
    return AskOutlookToEndThrough(*bridge, m_spApplication, m_stopEvent.get());
}

// A Version that cannot be read leaves it empty: it only goes into the Event Log's entries.
void CConnect::ReadOutlookVersion() noexcept
{
    if (m_bVersionKnown)
        return;
    try {
        m_bVersionKnown = true;
        m_outlookVersion = Outlook::Version(m_spApplication.Get());
    } catch (...) {
        m_outlookVersion.clear(); // the entries then say "unknown"; the shutdown goes on as ever
    }
}

// When this is the last reference, the final release would run inside the event that led to
// OnBeginShutdown: a watcher's Close, whose watcher it deletes while the Explorer's connection
// point is still calling it (and releases it afterwards). It is left to Outlook's message loop
// instead, which runs it once that event has returned; failing that, it runs at once.
void CConnect::ReleaseAfterShutdownCall()
{
    if (m_dwRef == 1) {
        // The timer calls into this DLL from Outlook's loop, which may run it after Outlook has
        // left COM and so unloaded the DLL. A failed pin leaves the risk as it was.
        (void)PinModule();
        const UINT_PTR timer = SetTimer(nullptr, 0, 0, ReleaseFromMessageLoop);
        // Without memory for the entry it is released at once; the timer then finds none.
        if (timer && AddPendingRelease(timer, this))
            return;
    }
    Release();
}

VOID CALLBACK CConnect::ReleaseFromMessageLoop(HWND, UINT, UINT_PTR timer, DWORD) noexcept
{
    static_assert(std::is_convertible_v<decltype(&ReleaseFromMessageLoop), TIMERPROC>); // the caller's convention
    (void)KillTimer(nullptr, timer); // once only
    std::map<UINT_PTR, CConnect*>& pending = PendingReleases();
    const auto found = pending.find(timer);
    if (found == pending.end())
        return;
    CConnect* connect = found->second;
    pending.erase(found);
    connect->Release();
}

void CConnect::Event_Explorers_New(IDispatch* explorer)
{
    LogMessage(0, "Connect<Event_Explorers_New>");
    if (!Addin_Enabled())
        return;
    // Logged again on purpose: an enabled add-in writes this line twice per new Explorer, a
    // disabled one once, and readers of the log go by that.
    LogMessage(0, "Connect<Event_Explorers_New>");
    m_watchers.Add(std::unique_ptr<CExplEvent>(new (std::nothrow) CExplEvent(explorer, this)));
}

void CConnect::Event_Appliance_Quit()
{
    LogMessage(0, "Connect<Event_Appliance_Quit>");
    Extensibility()->OnBeginShutdown(nullptr);
}

namespace {
// The one argument of an event as a dispatch pointer, or null.
IDispatch* DispatchArgument(DISPPARAMS* params)
{
    if (params->cArgs < 1)
        return nullptr;
    VARIANT& arg = params->rgvarg[0];
    if (arg.vt == VT_DISPATCH)
        return arg.pdispVal;
    if (arg.vt == (VT_DISPATCH | VT_BYREF) && arg.ppdispVal)
        return *arg.ppdispVal;
    return nullptr;
}
} // namespace

// Every handler keeps the object alive while it runs, as OnBeginShutdown does.
void CConnect::OnOptionsPagesAdd(void* target, DISPPARAMS* params)
{
    const Microsoft::WRL::ComPtr<IUnknown> keepAlive = static_cast<CConnect*>(target)->KeepAlive();
    Event_OptionsPagesAdd(DispatchArgument(params));
}

void CConnect::OnNewExplorer(void* target, DISPPARAMS* params)
{
    CConnect* connect = static_cast<CConnect*>(target);
    const Microsoft::WRL::ComPtr<IUnknown> keepAlive = connect->KeepAlive();
    connect->Event_Explorers_New(DispatchArgument(params));
}

void CConnect::OnQuit(void* target, DISPPARAMS*)
{
    CConnect* connect = static_cast<CConnect*>(target);
    const Microsoft::WRL::ComPtr<IUnknown> keepAlive = connect->KeepAlive();
    connect->Event_Appliance_Quit();
}
