// CompositeControl: the OLE plumbing of a window-only ActiveX control whose window is a
// modeless child dialog made from a dialog template. It implements what a container needs
// to host, size, activate, tab through and tear down such a control: IOleObject,
// IOleInPlaceObjectWindowless, IOleInPlaceActiveObject, IOleControl, IViewObjectEx and
// IPersistStreamInit (which persists the extent only).
//
// The derived class answers IUnknown (ControlInterface gives it the pointers of these
// interfaces) and the dialog's own messages (OnDialogMessage). Everything runs on the
// thread of the apartment that created the control; nothing here is thread-safe.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

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
                      ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDevice,
                             LOGPALETTE** colorSet) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;
    STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) override;
    STDMETHODIMP GetViewStatus(DWORD* status) override;
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint, DWORD* hitResult) override;
    STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint,
                              DWORD* hitResult) override;
    STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, HDC targetInfo,
                                  DVEXTENTINFO* extentInfo, LPSIZEL size) override;

    // IOleWindow (shared by IOleInPlaceObject and IOleInPlaceActiveObject)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;
    // IOleInPlaceObject / IOleInPlaceObjectWindowless
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHODIMP GetDropTarget(IDropTarget** dropTarget) override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG message) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* message) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) override;
    // Deactivates and lets go of the container's in-place site, frame and advise sinks (the
    // client site stays until SetClientSite(null)).
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index, HWND parent,
                        LPCRECT position) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* userType) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    // E_FAIL with a null enumerator while no sink is advised (before Advise, after Close).
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // IPersist / IPersistStreamInit: the extent, "_cx" and "_cy", is all that is persisted.
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* stream) override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;

    // The dialog window while it exists, otherwise null.
    HWND Window() const { return m_hWnd; }
    bool IsInPlaceActive() const { return m_bInPlaceActive; }
    bool IsUIActive() const { return m_bUIActive; }

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

    IOleClientSite* ClientSite() const { return m_spClientSite.Get(); }
    // Destroys the window, if any, without its last messages reaching the derived class: the
    // derived destructor calls this first.
    void DestroyControlWindow();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Activates in place (creating and showing the window) and, for OLEIVERB_UIACTIVATE, also
    // UI-activates. position, in the parent's client coordinates, overrides the site's. No-throw.
    HRESULT InPlaceActivate(LONG verb, const RECT* position);
    // The container's ambient UserMode; true when the container does not say.
    bool UserMode() const;
    IUnknown* Self() { return static_cast<IOleObject*>(this); }

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

// The size of a dialog template in HIMETRIC units on the screen: its dialog units turned into
// pixels with the base units of the template's font, then into HIMETRIC. {0, 0} when the
// template cannot be found. No-throw.
SIZEL DialogTemplateExtent(HINSTANCE instance, WORD dialogId);
