// A small ActiveX container for the options page tests: a visible top-level frame window on
// the test's display (one for the whole program) and one client site that is also the in-place site and frame. It hosts
// a control as a container does (SetClientSite first, then DoVerb), records what the control
// tells it, pumps this thread's messages through the active object's TranslateAccelerator,
// and answers Outlook's PropertyPageSite with an object the test gives. Optionally its site is
// bound to the control as real containers' sites are (SiteBond), so that the control and the
// site hold each other until the control lets go of the site. Runs on the test's thread.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

class PageHostSite;

// How the site holds on to the control it hosts; flags, combined with |.
enum SiteBond : unsigned {
    kSiteHoldsControl = 1, // the site keeps a reference to the control until the site is freed
    kSiteAdvised = 2,      // the site is the control's advise sink (IOleObject::Advise)
    kSiteViewAdvised = 4,  // the site is the control's view sink (IViewObject::SetAdvise)
    kSiteIsPageSite = 8,   // the site answers PropertyPageSite itself (its OnStatusChange succeeds)
    kSiteAllBonds = 15,
};

class PageHost {
public:
    // pageSite: what the client site answers for PropertyPageSite; null answers nothing
    // (unless bonds has kSiteIsPageSite).
    explicit PageHost(IDispatch* pageSite = nullptr, unsigned bonds = 0);
    // Closes and releases a control still hosted.
    ~PageHost();
    PageHost(const PageHost&) = delete;
    PageHost& operator=(const PageHost&) = delete;

    // The ambient UserMode the site reports (true unless set).
    void SetUserMode(bool userMode);

    // Hosts control: SetClientSite, then DoVerb(verb) at the control's extent in pixels at
    // (0, 0) of the frame's client area. Returns the first failure, or DoVerb's result.
    HRESULT Host(IUnknown* control, LONG verb = OLEIVERB_INPLACEACTIVATE);
    // IOleObject::Close, SetClientSite(null) and the release of the host's reference; the
    // bonds of the site stay as they are (a container's site holds the control until it goes).
    void Close();

    HWND Frame() const { return m_frame; }
    // The program's one frame window, also for containers other than this one.
    static HWND SharedFrame();
    // The control's window (IOleWindow::GetWindow), or null.
    HWND ControlWindow() const;
    IOleObject* Object() const { return m_object.Get(); }
    // The active object the control handed to SetActiveObject (null when none).
    IOleInPlaceActiveObject* ActiveObject() const;
    // The container's side of the conversation, in order: "CanInPlaceActivate",
    // "OnInPlaceActivate", "GetWindowContext", "OnUIActivate", "SetActiveObject",
    // "SetActiveObject(null)", "OnUIDeactivate", "OnInPlaceDeactivate", and for a bound site
    // "OnViewChange", "OnClose", "OnStatusChange".
    std::vector<std::string> Calls() const;
    size_t CountOf(const std::string& call) const;
    void ClearCalls();

    // Dispatches this thread's messages until none is left.
    static void PumpPending();
    // The same until done() holds, waiting for messages up to timeoutMs in all; returns done().
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

private:
    HWND m_frame = nullptr;
    PageHostSite* m_site = nullptr;
    Microsoft::WRL::ComPtr<IOleObject> m_object;
};

// HIMETRIC to pixels on the screen, as containers convert.
SIZE HimetricToPixels(const SIZEL& himetric);

// Copies what the screen shows of window (its frame included) into a 24-bit BMP file.
bool SaveWindowImage(HWND window, const std::string& path);
