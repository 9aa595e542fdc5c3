// CompositeControl: the OLE plumbing of a window-only ActiveX control whose window is a
// modeless child dialog made from a dialog template. It implements what a container needs
// to host, size, activate, tab through and tear down such a control: IOleObject,
// IOleInPlaceObjectWindowless, IOleInPlaceActiveObject, IOleControl, IViewObjectEx and
// IPersistStreamInit (which persists the extent only).
//
// The derived class answers IUnknown (ControlInterface gives it the pointers of these
// interfaces) and the dialog's own messages (OnDialogMessage). Everything runs on the
// thread of the apartment that created the control; nothing here is thread-safe. No method
// throws. The window and activation are in composite_control.cpp, each interface in its own
// composite_control_*.cpp.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

// WM_CTLCOLOR: the 16-bit form of the WM_CTLCOLOR* messages, still sent and answered as they are.
constexpr UINT kWmCtlColor = 0x0019;

class CompositeControl : public IViewObjectEx,
                         public IOleInPlaceObjectWindowless,
                         public IOleInPlaceActiveObject,
                         public IOleControl,
                         public IOleObject,
                         public IPersistStreamInit {
public:
    // IViewObject / IViewObject2 / IViewObjectEx
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDevice,
                      HDC drawDc, LPCRECTL bounds, LPCRECTL windowBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                      ULONG_PTR contArg) noexcept override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDevice,
                             LOGPALETTE** colorSet) noexcept override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) noexcept override;
    STDMETHODIMP Unfreeze(DWORD freeze) noexcept override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) noexcept override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) noexcept override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) noexcept override;
    STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) noexcept override;
    STDMETHODIMP GetViewStatus(DWORD* status) noexcept override;
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint,
                               DWORD* hitResult) noexcept override;
    STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint,
                              DWORD* hitResult) noexcept override;
    STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, HDC targetInfo,
                                  DVEXTENTINFO* extentInfo, LPSIZEL size) noexcept override;

    // IOleWindow (shared by IOleInPlaceObject and IOleInPlaceActiveObject)
    STDMETHODIMP GetWindow(HWND* window) noexcept override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) noexcept override;
    // IOleInPlaceObject / IOleInPlaceObjectWindowless
    STDMETHODIMP InPlaceDeactivate() noexcept override;
    STDMETHODIMP UIDeactivate() noexcept override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) noexcept override;
    STDMETHODIMP ReactivateAndUndo() noexcept override;
    STDMETHODIMP OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept override;
    STDMETHODIMP GetDropTarget(IDropTarget** dropTarget) noexcept override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG message) noexcept override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) noexcept override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) noexcept override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) noexcept override;
    STDMETHODIMP EnableModeless(BOOL enable) noexcept override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) noexcept override;
    STDMETHODIMP OnMnemonic(MSG* message) noexcept override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) noexcept override;
    STDMETHODIMP FreezeEvents(BOOL freeze) noexcept override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) noexcept override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) noexcept override;
    STDMETHODIMP SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) noexcept override;
    // Deactivates and lets go of the container's in-place site, frame and advise sinks (the
    // client site stays until SetClientSite(null)).
    STDMETHODIMP Close(DWORD saveOption) noexcept override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) noexcept override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) noexcept override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) noexcept override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) noexcept override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index, HWND parent,
                        LPCRECT position) noexcept override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) noexcept override;
    STDMETHODIMP Update() noexcept override;
    STDMETHODIMP IsUpToDate() noexcept override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) noexcept override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* userType) noexcept override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) noexcept override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) noexcept override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) noexcept override;
    STDMETHODIMP Unadvise(DWORD connection) noexcept override;
    // E_FAIL with a null enumerator while no sink is advised (before Advise, after Close).
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) noexcept override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) noexcept override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) noexcept override;

    // IPersist / IPersistStreamInit: the extent, "_cx" and "_cy", is all that is persisted.
    STDMETHODIMP GetClassID(CLSID* clsid) noexcept override;
    STDMETHODIMP IsDirty() noexcept override;
    STDMETHODIMP Load(IStream* stream) noexcept override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) noexcept override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) noexcept override;
    STDMETHODIMP InitNew() noexcept override;

    // The dialog window while it exists, otherwise null.
    HWND Window() const { return m_hWnd; }

protected:
    // instance and dialogId name the template; the natural extent is measured from it here.
    // miscStatus is what GetMiscStatus answers (the value the class's registration carries).
    CompositeControl(HINSTANCE instance, WORD dialogId, const CLSID& clsid, DWORD miscStatus);
    // Destroys the window if it still exists; its messages no longer reach the derived class.
    virtual ~CompositeControl();
    CompositeControl(const CompositeControl&) = delete;
    CompositeControl& operator=(const CompositeControl&) = delete;

    // The control interfaces in the order in which QueryInterface answers them: IViewObjectEx,
    // IViewObject2, IViewObject; IOleInPlaceObjectWindowless, IOleInPlaceObject, IOleWindow;
    // IOleInPlaceActiveObject; IOleControl; IOleObject; IPersistStreamInit, IPersist. Null for
    // any other IID. Takes no reference.
    void* ControlInterface(REFIID riid);

    // The derived class's handling of a message of the dialog, matched before the base's own.
    // Returns true when handled, with the message's result in *result. Must not throw.
    virtual bool OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;

    // Destroys the window, if any, without its last messages reaching the derived class: the
    // derived destructor calls this first.
    void DestroyControlWindow();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    // Activates in place (creating and showing the window) and, for OLEIVERB_UIACTIVATE, also
    // UI-activates. position, in the parent's client coordinates, overrides the site's. No-throw.
    HRESULT InPlaceActivate(LONG verb, const RECT* position);
    // The in-place half: the site's consent, its window context, the window, its rectangles.
    HRESULT ActivateInSite(const RECT* position);
    // The UI half: the site hears of it, the window takes focus, frame and UI window see us.
    HRESULT UIActivate();
    // The container's ambient UserMode; true when the container does not say.
    bool UserMode() const;

    HINSTANCE m_hInstance;
    WORD m_wDialogId;
    CLSID m_clsid;
    DWORD m_dwMiscStatus;
    SIZEL m_sizeNatural{};
    SIZEL m_sizeExtent{};
    HWND m_hWnd = nullptr;
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bRequiresSave = false;
    Microsoft::WRL::ComPtr<IOleClientSite> m_spClientSite;
    Microsoft::WRL::ComPtr<IOleInPlaceSite> m_spInPlaceSite;
    Microsoft::WRL::ComPtr<IOleInPlaceFrame> m_spInPlaceFrame;
    Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> m_spInPlaceUIWindow;
    Microsoft::WRL::ComPtr<IOleAdviseHolder> m_spOleAdviseHolder;
    Microsoft::WRL::ComPtr<IAdviseSink> m_spViewAdviseSink;
    DWORD m_dwViewAdviseAspects = 0;
    DWORD m_dwViewAdviseFlags = 0;
};
