#include "addin/outlook_thread_bridge.h"

#include <type_traits>
#include <atomic>
#include <new>

#include "com/com_error.h"
#include "win32/module_instance.h"
#include "com/module_lock.h"
#include "win32/raii.h"
#include "shutdown/message_pump.h"
#include "win32/scope_exit.h"
#include "win32/scoped_lock.h"

namespace {
const char kWindowClass[] = "VantrelOutlookThreadBridge";
const UINT kRunMessage = WM_APP + 1;
std::atomic<DWORD> g_callTimeoutMs{OutlookThreadBridge::kDefaultCallTimeoutMs};
} // namespace

void UseBridgeCallTimeout(DWORD milliseconds) noexcept
{
    g_callTimeoutMs.store(milliseconds ? milliseconds : OutlookThreadBridge::kDefaultCallTimeoutMs);
}

// Shared by the caller and the owner thread: whichever lets go last frees it.
struct OutlookThreadBridge::Request {
    explicit Request(const std::shared_ptr<BridgeWork>& w) noexcept : work(w) {}
    std::shared_ptr<BridgeWork> work;
    HRESULT result = E_UNEXPECTED; // written on the owner thread before `done` is set
    UniqueHandle done;
    std::atomic<bool> abandoned{false};
    std::atomic<int> references{2};
};

void OutlookThreadBridge::ReleaseRequest(Request* request) noexcept
{
    if (request->references.fetch_sub(1) == 1)
        delete request;
}

std::unique_ptr<OutlookThreadBridge> OutlookThreadBridge::Create() noexcept
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    HWND window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(),
                                  nullptr);
    if (!window)
        return nullptr;
    std::unique_ptr<OutlookThreadBridge> bridge(new (std::nothrow) OutlookThreadBridge(window));
    if (!bridge) {
        DestroyWindow(window);
        return nullptr;
    }
    // Set from this process only: another process cannot change a window's user data.
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bridge.get()));
    return bridge;
}

OutlookThreadBridge::~OutlookThreadBridge()
{
    // The window first, so that no message reaches this object again; then drop what was
    // posted but never run.
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
    std::vector<Queued> unrun;
    {
        const ExclusiveLock lock(m_lock);
        unrun.swap(m_queue);
    }
    for (const Queued& queued : unrun)
        ReleaseRequest(queued.request);
    // A DLL's window classes outlive it; fails harmlessly while another bridge still has a window.
    (void)UnregisterClassA(kWindowClass, ModuleInstance());
}

BridgeAnswer OutlookThreadBridge::Run(const std::shared_ptr<BridgeWork>& work, HANDLE stopEvent) noexcept
{
    // Owned here until the owner thread has it too.
    std::unique_ptr<Request> owned(new (std::nothrow) Request(work));
    if (!owned)
        return {BridgeOutcome::NotSent, E_OUTOFMEMORY};
    owned->done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!owned->done)
        return {BridgeOutcome::NotSent, LastErrorOr(ERROR_OUTOFMEMORY)};
    const ULONG_PTR id = Enqueue(owned.get());
    if (!id)
        return {BridgeOutcome::NotSent, E_OUTOFMEMORY};
    Request* request = owned.release(); // shared now: the last of the two threads frees it
    const auto release = MakeScopeExit([request] { ReleaseRequest(request); });
    if (!PostMessageA(m_hWnd, kRunMessage, id, 0)) {
        const HRESULT failed = LastErrorOr(ERROR_INVALID_WINDOW_HANDLE);
        if (Request* unposted = Dequeue(id))
            ReleaseRequest(unposted); // the queue's reference
        return {BridgeOutcome::NotSent, failed};
    }

    // Outlook's thread may send a message to one of this thread's windows (the exit dialog)
    // while it runs the call: a plain wait would then hold both threads for ever.
    const HANDLE handles[2] = {request->done.get(), stopEvent};
    const DWORD waited = PumpMessagesUntilAny(g_callTimeoutMs.load(), handles, 2);
    if (waited == 0)
        return {BridgeOutcome::Ran, request->result};
    request->abandoned.store(true);
    if (waited == 1)
        return {BridgeOutcome::Stopped, S_FALSE};
    return {BridgeOutcome::TimedOut, HRESULT_FROM_WIN32(ERROR_TIMEOUT)};
}

ULONG_PTR OutlookThreadBridge::Enqueue(Request* request) noexcept
{
    const ExclusiveLock lock(m_lock);
    const ULONG_PTR id = ++m_lastId;
    try {
        m_queue.push_back(Queued{id, request});
    } catch (...) {
        return 0;
    }
    return id;
}

OutlookThreadBridge::Request* OutlookThreadBridge::Dequeue(ULONG_PTR id) noexcept
{
    const ExclusiveLock lock(m_lock);
    for (auto queued = m_queue.begin(); queued != m_queue.end(); ++queued) {
        if (queued->id == id) {
            Request* request = queued->request;
            m_queue.erase(queued);
            return request;
        }
    }
    return nullptr;
}

LRESULT CALLBACK OutlookThreadBridge::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    static_assert(std::is_convertible_v<decltype(&WindowProc), WNDPROC>); // the caller's convention
    if (message != kRunMessage)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    auto* bridge = reinterpret_cast<OutlookThreadBridge*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    // Only a request that Run queued runs; any other message of this number (posted by another
    // process, or one whose request is gone) is ignored, whatever it carries.
    Request* request = bridge ? bridge->Dequeue(wParam) : nullptr;
    if (!request)
        return 0;
    // Outlook may release the add-in inside the call (its Quit may), which destroys this bridge
    // and gives back the add-in's own lock on the module: this lock keeps the DLL from being
    // unloaded under the code that runs here. It is given back on this same thread, just before
    // the return to Outlook's loop, so no unload can come in between.
    ModuleLockHolder running;
    if (!request->abandoned.load())
        request->result = request->work->Run(); // no-throw
    SetEvent(request->done.get());
    ReleaseRequest(request);
    return 0;
}
