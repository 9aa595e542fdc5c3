// What the add-in calls on Outlook's object model and the events it hears. Every call goes
// through IDispatch by name; a failure throws ComError carrying the HRESULT and the IID of
// the Outlook interface called, and a call through a null reference throws E_POINTER.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

// Outlook's interfaces.
extern const IID IID_Outlook_Application;      // _Application
extern const IID IID_Outlook_NameSpace;        // _NameSpace
extern const IID IID_Outlook_Explorers;        // _Explorers
extern const IID IID_Outlook_Inspectors;       // _Inspectors
extern const IID IID_Outlook_PropertyPages;    // PropertyPages
extern const IID IID_Outlook_PropertyPageSite; // PropertyPageSite
extern const IID IID_Outlook_PropertyPage;     // PropertyPage
extern const IID IID_Outlook_Store;            // _Store
extern const IID IID_Office_LanguageSettings;  // Office's LanguageSettings
// Outlook's event interfaces.
extern const IID IID_Outlook_ApplicationEvents;
extern const IID IID_Outlook_ExplorersEvents;
extern const IID IID_Outlook_ExplorerEvents;

constexpr DISPID kDispidOptionsPagesAdd = 0xF005;
constexpr DISPID kDispidApplicationQuit = 0xF007;
constexpr DISPID kDispidNewExplorer = 0xF001;
constexpr DISPID kDispidExplorerClose = 0xF008;

namespace Outlook {

using Microsoft::WRL::ComPtr;

// _Application. Each throws ComError.
ComPtr<IDispatch> Explorers(IDispatch* application);
ComPtr<IDispatch> ActiveExplorer(IDispatch* application); // null when no Explorer is open
ComPtr<IDispatch> Inspectors(IDispatch* application);     // null when Outlook gives none
std::string Version(IDispatch* application);              // narrow, in the ANSI code page
ComPtr<IDispatch> Session(IDispatch* application);        // null when there is no session
void Quit(IDispatch* application);
// Office's user-interface language: LanguageSettings.LanguageID(msoLanguageIDUI), a Windows
// language identifier (1031 for German, ...). An answer that is not a number throws
// DISP_E_TYPEMISMATCH.
LANGID UiLanguageId(IDispatch* application);
// _NameSpace
void Logoff(IDispatch* nameSpace);
// One store of _NameSpace.Stores as it was read: its number in the collection (Item is
// 1-based) and its FilePath, an empty text for a store that lives only on a server. When its
// Item or FilePath call failed, failedCall names that call ("Item", "FilePath") and failure is
// its HRESULT; the path is then empty.
struct StoreReading {
    long number = 0;
    std::wstring path;
    const char* failedCall = nullptr;
    HRESULT failure = S_OK;
};
// _NameSpace.Stores: each store in the collection's order. A store whose own call fails is
// noted as failed in `stores` and the stores after it are still read; a failure of Stores or of
// its Count throws ComError, and `stores` keeps what was read before it.
void StoreFilePaths(IDispatch* nameSpace, std::vector<StoreReading>& stores);
// _Explorers: the number of open Explorer windows. An answer that is not a number (nothing at
// all included) throws DISP_E_TYPEMISMATCH: a missing count must never read as "none open".
long Count(IDispatch* explorers);
// _Inspectors: the number of open item windows, with the same rule.
long InspectorCount(IDispatch* inspectors);
// PropertyPages: adds a page given by its ProgID (a VT_BSTR VARIANT) with a tab title.
void AddPropertyPage(IDispatch* pages, const VARIANT& page, BSTR title);
// PropertyPageSite
void OnStatusChange(IDispatch* site);

} // namespace Outlook
