// The interfaces Outlook calls on the add-in, with their exact IIDs and slot order, and the
// identities of the add-in's own type library, classes and interfaces (IConnect,
// IAddinPropertyPage), which widl generates from Vantrel.idl into Vantrel_h.h.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "Vantrel_h.h"

extern const IID IID__IDTExtensibility2;
extern const GUID LIBID_AddInDesignerObjects;

enum ext_ConnectMode { ext_cm_AfterStartup = 0, ext_cm_Startup = 1, ext_cm_External = 2, ext_cm_CommandLine = 3 };
enum ext_DisconnectMode { ext_dm_HostShutdown = 0, ext_dm_UserClosed = 1 };

// The Office add-in interface: IDispatch's seven slots, then these five.
struct _IDTExtensibility2 : public IDispatch {
    STDMETHOD(OnConnection)(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                            SAFEARRAY** custom) = 0;
    STDMETHOD(OnDisconnection)(ext_DisconnectMode removeMode, SAFEARRAY** custom) = 0;
    STDMETHOD(OnAddInsUpdate)(SAFEARRAY** custom) = 0;
    STDMETHOD(OnStartupComplete)(SAFEARRAY** custom) = 0;
    STDMETHOD(OnBeginShutdown)(SAFEARRAY** custom) = 0;
};
