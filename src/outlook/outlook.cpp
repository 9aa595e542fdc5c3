#include "outlook/outlook.h"

#include "com/com_error.h"
#include "com/dispatch_call.h"
#include "com/raii.h"
#include "win32/text_convert.h"

const IID IID_Outlook_Application = {0x00063001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_NameSpace = {0x00063002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_Explorers = {0x0006300A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_Inspectors = {0x00063008, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_PropertyPages = {0x00063080, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_PropertyPageSite = {0x0006307F, 0x0000, 0x0000,
                                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_PropertyPage = {0x0006307E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_Store = {0x000630C7, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Office_LanguageSettings = {0x000C0353, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_ApplicationEvents = {0x0006304E, 0x0000, 0x0000,
                                           {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_ExplorersEvents = {0x00063078, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_Outlook_ExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace Outlook {
namespace {

// Reads a property; throws ComError(hr, iid).
void Get(IDispatch* object, const wchar_t* name, const IID& iid, VARIANT* result)
{
    if (!object)
        throw ComError(E_POINTER, iid);
    ThrowIfFailed(InvokeByName(object, name, DISPATCH_PROPERTYGET, nullptr, 0, result), iid);
}

void Call(IDispatch* object, const wchar_t* name, const IID& iid, VARIANT* reversedArgs = nullptr,
          UINT argCount = 0)
{
    if (!object)
        throw ComError(E_POINTER, iid);
    UniqueVariant ignored;
    ThrowIfFailed(InvokeByName(object, name, DISPATCH_METHOD, reversedArgs, argCount, ignored.get()), iid);
}

// A property that yields an object: null for VT_EMPTY/VT_NULL/a null dispatch pointer.
ComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name, const IID& iid)
{
    UniqueVariant value;
    Get(object, name, iid, value.get());
    ComPtr<IDispatch> result;
    VARIANT* v = value.get();
    if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
        if (v->punkVal)
            ThrowIfFailed(v->punkVal->QueryInterface(IID_PPV_ARGS(&result)), iid);
    } else if (v->vt != VT_EMPTY && v->vt != VT_NULL) {
        throw ComError(DISP_E_TYPEMISMATCH, iid);
    }
    return result;
}

// A collection's Count; throws ComError(hr, iid), DISP_E_TYPEMISMATCH for VT_EMPTY/VT_NULL.
long ReadCount(IDispatch* collection, const IID& iid)
{
    UniqueVariant value;
    Get(collection, L"Count", iid, value.get());
    const VARTYPE type = value.get()->vt;
    if (type == VT_EMPTY || type == VT_NULL)
        throw ComError(DISP_E_TYPEMISMATCH, iid);
    ThrowIfFailed(VariantChangeType(value.get(), value.get(), 0, VT_I4), iid);
    return value.get()->lVal;
}

} // namespace

ComPtr<IDispatch> Explorers(IDispatch* application)
{
    return GetObject(application, L"Explorers", IID_Outlook_Application);
}

ComPtr<IDispatch> ActiveExplorer(IDispatch* application)
{
    return GetObject(application, L"ActiveExplorer", IID_Outlook_Application);
}

std::string Version(IDispatch* application)
{
    UniqueVariant value;
    Get(application, L"Version", IID_Outlook_Application, value.get());
    ThrowIfFailed(VariantChangeType(value.get(), value.get(), 0, VT_BSTR), IID_Outlook_Application);
    const BSTR text = value.get()->bstrVal;
    return ToNarrow(std::wstring_view(text, SysStringLen(text)), CP_ACP);
}

ComPtr<IDispatch> Inspectors(IDispatch* application)
{
    return GetObject(application, L"Inspectors", IID_Outlook_Application);
}

ComPtr<IDispatch> Session(IDispatch* application)
{
    return GetObject(application, L"Session", IID_Outlook_Application);
}

void Quit(IDispatch* application)
{
    Call(application, L"Quit", IID_Outlook_Application);
}

void Logoff(IDispatch* nameSpace)
{
    Call(nameSpace, L"Logoff", IID_Outlook_NameSpace);
}

namespace {

// Store number `index`'s FilePath; throws ComError, and names the call in `call` before each.
std::wstring StoreFilePath(IDispatch* stores, long index, const char*& call)
{
    call = "Item";
    UniqueVariant number;
    number.get()->vt = VT_I4;
    number.get()->lVal = index;
    UniqueVariant item;
    ThrowIfFailed(InvokeByName(stores, L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, number.get(), 1, item.get()),
                  IID_IDispatch);
    VARIANT* v = item.get();
    ComPtr<IDispatch> store;
    if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal)
        ThrowIfFailed(v->punkVal->QueryInterface(IID_PPV_ARGS(&store)), IID_Outlook_Store);
    if (!store)
        throw ComError(DISP_E_TYPEMISMATCH, IID_IDispatch);
    call = "FilePath";
    UniqueVariant path;
    Get(store.Get(), L"FilePath", IID_Outlook_Store, path.get());
    ThrowIfFailed(VariantChangeType(path.get(), path.get(), 0, VT_BSTR), IID_Outlook_Store);
    const BSTR text = path.get()->bstrVal;
    return std::wstring(text, SysStringLen(text));
}

} // namespace

void StoreFilePaths(IDispatch* nameSpace, std::vector<StoreReading>& stores)
{
    const ComPtr<IDispatch> collection = GetObject(nameSpace, L"Stores", IID_Outlook_NameSpace);
    const long count = ReadCount(collection.Get(), IID_IDispatch);
    for (long i = 1; i <= count; ++i) {
        StoreReading reading;
        reading.number = i;
        const char* call = nullptr;
        try {
            reading.path = StoreFilePath(collection.Get(), i, call);
        } catch (const ComError& error) {
            // This store alone is lost; the ones after it may still be read.
            reading.failedCall = call;
            reading.failure = error.Error();
        }
        stores.push_back(std::move(reading));
    }
}

long Count(IDispatch* explorers)
{
    return ReadCount(explorers, IID_Outlook_Explorers);
}

long InspectorCount(IDispatch* inspectors)
{
    return ReadCount(inspectors, IID_Outlook_Inspectors);
}

void AddPropertyPage(IDispatch* pages, const VARIANT& page, BSTR title)
{
    // Arguments go in reverse order: Add(Page, Title).
    VARIANT args[2];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = title;
    args[1] = page;
    Call(pages, L"Add", IID_Outlook_PropertyPages, args, 2);
}

void OnStatusChange(IDispatch* site)
{
    Call(site, L"OnStatusChange", IID_Outlook_PropertyPageSite);
}

LANGID UiLanguageId(IDispatch* application)
{
    const ComPtr<IDispatch> settings = GetObject(application, L"LanguageSettings", IID_Outlook_Application);
    if (!settings)
        throw ComError(E_POINTER, IID_Office_LanguageSettings);
    constexpr long kMsoLanguageIdUi = 2; // msoLanguageIDUI
    UniqueVariant type;
    type.get()->vt = VT_I4;
    type.get()->lVal = kMsoLanguageIdUi;
    UniqueVariant value;
    ThrowIfFailed(InvokeByName(settings.Get(), L"LanguageID", DISPATCH_PROPERTYGET, type.get(), 1, value.get()),
                  IID_Office_LanguageSettings);
    const VARTYPE answered = value.get()->vt;
    if (answered == VT_EMPTY || answered == VT_NULL)
        throw ComError(DISP_E_TYPEMISMATCH, IID_Office_LanguageSettings);
    ThrowIfFailed(VariantChangeType(value.get(), value.get(), 0, VT_I4), IID_Office_LanguageSettings);
    return static_cast<LANGID>(value.get()->lVal);
}

} // namespace Outlook
