#include "addin/outlook_thread_bridge.h"

#include <new>

#include "com/com_error.h"
#include "com/module_instance.h"
#include "com/module_lock.h"
#include "com/raii.h"
#include "shutdown/message_pump.h"

namespace {
const char kWindowClass[] = "VantrelOutlookThreadBridge";
const UINT kRunMessage = WM_APP + 1;
} // namespace

// Shared by the caller and the owner thread: whichever lets go last frees it.
struct OutlookThreadBridge::Request {
    Request(Call c, void* x) noexcept : call(c), context(x) {}
    Call call;
    void* context;
    HRESULT result = E_UNEXPECTED;
    UniqueHandle done;
    volatile LONG abandoned = 0;
    volatile LONG references = 2;
};

void OutlookThreadBridge::ReleaseRequest(Request* request) noexcept
{
    if (InterlockedDecrement(&request->references) == 0)
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
    if (!bridge)
        DestroyWindow(window);
    return bridge;
}

OutlookThreadBridge::~OutlookThreadBridge()
{
    // Drop what was posted but never run, then the window.
    MSG message;
    while (PeekMessageA(&message, m_hWnd, kRunMessage, kRunMessage, PM_REMOVE))
        ReleaseRequest(reinterpret_cast<Request*>(message.lParam));
    DestroyWindow(m_hWnd);
    // A DLL's window classes outlive it; fails harmlessly while another bridge still has a window.
    (void)UnregisterClassA(kWindowClass, ModuleInstance());
}

HRESULT OutlookThreadBridge::Run(Call call, void* context, HANDLE stopEvent) noexcept
{
    // Owned here until the owner thread has it too.
    std::unique_ptr<Request> owned(new (std::nothrow) Request(call, context));
    if (!owned)
        return E_OUTOFMEMORY;
    owned->done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!owned->done)
        return LastErrorOr(ERROR_OUTOFMEMORY);
    if (!PostMessageA(m_hWnd, kRunMessage, 0, reinterpret_cast<LPARAM>(owned.get())))
        return LastErrorOr(ERROR_INVALID_WINDOW_HANDLE);
    Request* request = owned.release(); // shared now: the last of the two threads frees it

    // Outlook's thread may send a message to one of this thread's windows (the exit dialog)
    // while it runs the call: a plain wait would then hold both threads for ever.
    const HANDLE handles[2] = {request->done.get(), stopEvent};
    const DWORD waited = PumpMessagesUntilAny(m_timeoutMs, handles, 2, GetTickCount);
    HRESULT result;
    if (waited == 0) {
        result = request->result;
    } else {
        InterlockedExchange(&request->abandoned, 1);
        result = waited == 1 ? kBridgeStopped : kBridgeTimedOut;
    }
    ReleaseRequest(request);
    return result;
}

LRESULT CALLBACK OutlookThreadBridge::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message != kRunMessage)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    // Outlook may release the add-in inside the call (its Quit may), which destroys this bridge
    // and gives back the add-in's own lock on the module: this lock keeps the DLL from being
    // unloaded under the code that runs here. It is given back on this same thread, just before
    // the return to Outlook's loop, so no unload can come in between.
    ModuleLockHolder running;
    Request* request = reinterpret_cast<Request*>(lParam);
    if (!InterlockedCompareExchange(&request->abandoned, 0, 0))
        request->result = request->call(request->context); // a no-throw call
    SetEvent(request->done.get());
    ReleaseRequest(request);
    return 0;
}
