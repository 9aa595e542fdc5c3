#include "fake_outlook/fake_outlook.h"

#include <algorithm>

#include "outlook/outlook.h"

namespace fake {

namespace {

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// A text argument as Outlook's Add receives it; VT_BSTR or VT_BSTR|VT_BYREF.
std::wstring TextOf(const VARIANT& arg)
{
    if (arg.vt == VT_BSTR && arg.bstrVal)
        return std::wstring(arg.bstrVal, SysStringLen(arg.bstrVal));
    if (arg.vt == (VT_BSTR | VT_BYREF) && arg.pbstrVal && *arg.pbstrVal)
        return std::wstring(*arg.pbstrVal, SysStringLen(*arg.pbstrVal));
    return std::wstring();
}

template <class T>
ComPtr<T> MakeObject(std::shared_ptr<CallLog> log)
{
    return Adopt(new T(std::move(log)));
}

} // namespace

FakeExplorer::FakeExplorer(std::shared_ptr<CallLog> log) : FakeObject(std::move(log), IID_IDispatch, {L"Caption"})
{
    AddConnectionPoint(IID_Outlook_ExplorerEvents, "ExplorerEvents");
}

size_t FakeExplorer::CloseSinks()
{
    return SinkCount(IID_Outlook_ExplorerEvents);
}

HRESULT FakeExplorer::Member(const std::string&, WORD, DISPPARAMS*, VARIANT* result)
{
    if (result) {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(L"Inbox - Microsoft Outlook");
    }
    return S_OK;
}

FakeExplorers::FakeExplorers(std::shared_ptr<CallLog> log)
    : FakeObject(std::move(log), IID_Outlook_Explorers, {L"Count", L"Item"})
{
    AddConnectionPoint(IID_Outlook_ExplorersEvents, "ExplorersEvents");
}

HRESULT FakeExplorers::Member(const std::string& name, WORD, DISPPARAMS*, VARIANT* result)
{
    if (name == "Count" && result && !ReturnsNothing(name)) {
        result->vt = VT_I4;
        result->lVal = m_countOverride >= 0 ? m_countOverride : static_cast<long>(m_items.size());
    }
    return S_OK;
}

FakeInspector::FakeInspector(std::shared_ptr<CallLog> log) : FakeObject(std::move(log), IID_IDispatch, {L"Caption"})
{
}

HRESULT FakeInspector::Member(const std::string&, WORD, DISPPARAMS*, VARIANT* result)
{
    if (result) {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(L"Untitled - Message");
    }
    return S_OK;
}

FakeInspectors::FakeInspectors(std::shared_ptr<CallLog> log)
    : FakeObject(std::move(log), IID_Outlook_Inspectors, {L"Count", L"Item"})
{
    SetRecordPrefix("Inspectors.");
}

HRESULT FakeInspectors::Member(const std::string& name, WORD, DISPPARAMS*, VARIANT* result)
{
    if (name == "Count" && result && !ReturnsNothing(name)) {
        result->vt = VT_I4;
        result->lVal = static_cast<long>(m_items.size());
    }
    return S_OK;
}

FakeStore::FakeStore(std::shared_ptr<CallLog> log, std::wstring filePath)
    : FakeObject(std::move(log), IID_Outlook_Store, {L"FilePath", L"DisplayName"}), m_filePath(std::move(filePath))
{
    SetRecordPrefix("Store.");
}

HRESULT FakeStore::Member(const std::string&, WORD, DISPPARAMS*, VARIANT* result)
{
    if (result) {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(m_filePath.data(), static_cast<UINT>(m_filePath.size()));
    }
    return S_OK;
}

FakeStores::FakeStores(std::shared_ptr<CallLog> log) : FakeObject(std::move(log), IID_IDispatch, {L"Count", L"Item"})
{
    SetRecordPrefix("Stores.");
}

HRESULT FakeStores::Member(const std::string& name, WORD, DISPPARAMS* params, VARIANT* result)
{
    if (name == "Count") {
        if (result) {
            result->vt = VT_I4;
            result->lVal = static_cast<long>(m_items.size());
        }
        return S_OK;
    }
    // Item(Index), 1-based as Outlook's collections are.
    if (params->cArgs != 1)
        return DISP_E_BADPARAMCOUNT;
    VARIANT index;
    VariantInit(&index);
    if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    if (index.lVal < 1 || static_cast<size_t>(index.lVal) > m_items.size())
        return DISP_E_BADINDEX;
    SetDispatch(result, m_items[static_cast<size_t>(index.lVal - 1)].Get());
    return S_OK;
}

FakeNameSpace::FakeNameSpace(std::shared_ptr<CallLog> log)
    : FakeObject(std::move(log), IID_Outlook_NameSpace, {L"Logoff", L"Logon", L"Stores"})
{
    m_stores = MakeObject<FakeStores>(SharedLog());
}

FakeStore& FakeNameSpace::AddStore(const std::wstring& filePath)
{
    m_stores->Items().push_back(Adopt(new FakeStore(SharedLog(), filePath)));
    return *m_stores->Items().back().Get();
}

HRESULT FakeNameSpace::Member(const std::string& name, WORD, DISPPARAMS*, VARIANT* result)
{
    if (name == "Stores") {
        if (m_onStores)
            m_onStores();
        SetDispatch(result, m_stores.Get());
    }
    return S_OK;
}

FakePropertyPages::FakePropertyPages(std::shared_ptr<CallLog> log)
    : FakeObject(std::move(log), IID_Outlook_PropertyPages, {L"Add", L"Count"})
{
}

HRESULT FakePropertyPages::Member(const std::string& name, WORD, DISPPARAMS* params, VARIANT* result)
{
    if (name == "Count") {
        if (result) {
            result->vt = VT_I4;
            result->lVal = static_cast<long>(m_added.size());
        }
        return S_OK;
    }
    // Add(Page, Title): the last argument comes first.
    if (params->cArgs != 2)
        return DISP_E_BADPARAMCOUNT;
    const VARIANT& page = params->rgvarg[1];
    m_added.push_back({page.vt, TextOf(page), TextOf(params->rgvarg[0])});
    return S_OK;
}

FakePropertyPageSite::FakePropertyPageSite(std::shared_ptr<CallLog> log)
    : FakeObject(std::move(log), IID_Outlook_PropertyPageSite, {L"OnStatusChange"})
{
}

HRESULT FakePropertyPageSite::Member(const std::string&, WORD, DISPPARAMS*, VARIANT*)
{
    ++m_statusChanges;
    return S_OK;
}

FakeLanguageSettings::FakeLanguageSettings(std::shared_ptr<CallLog> log)
    : FakeObject(std::move(log), IID_Office_LanguageSettings, {L"LanguageID"})
{
}

HRESULT FakeLanguageSettings::Member(const std::string&, WORD, DISPPARAMS* params, VARIANT* result)
{
    if (!params || params->cArgs != 1)
        return DISP_E_BADPARAMCOUNT;
    VARIANT type;
    VariantInit(&type);
    if (FAILED(VariantChangeType(&type, &params->rgvarg[0], 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    m_askedType = type.lVal;
    if (result) {
        result->vt = VT_I4;
        result->lVal = m_language;
    }
    return S_OK;
}

FakeApplication::FakeApplication(const std::string& version)
    : FakeObject(std::make_shared<CallLog>(), IID_Outlook_Application,
                 {L"Explorers", L"ActiveExplorer", L"Version", L"Session", L"Quit", L"Inspectors",
                  L"LanguageSettings"}),
      m_version(version)
{
    AddConnectionPoint(IID_Outlook_ApplicationEvents, "ApplicationEvents");
    m_explorers = MakeObject<FakeExplorers>(SharedLog());
    m_inspectors = MakeObject<FakeInspectors>(SharedLog());
    m_namespace = MakeObject<FakeNameSpace>(SharedLog());
    m_languageSettings = MakeObject<FakeLanguageSettings>(SharedLog());
}

FakeApplication::~FakeApplication() = default;

ComPtr<FakeApplication> FakeApplication::Create(const std::string& version)
{
    return Adopt(new FakeApplication(version));
}

HRESULT FakeApplication::Member(const std::string& name, WORD, DISPPARAMS*, VARIANT* result)
{
    if (name == "Quit") {
        ++m_quitCalls;
        if (m_onQuit)
            m_onQuit();
        return S_OK;
    }
    if (!result)
        return S_OK;
    if (ReturnsNothing(name))
        return S_OK;
    if (name == "Explorers") {
        SetDispatch(result, m_explorers.Get());
    } else if (name == "ActiveExplorer") {
        auto& items = m_explorers->Items();
        if (!items.empty())
            SetDispatch(result, items.front().Get());
    } else if (name == "Version") {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(Wide(m_version).c_str());
    } else if (name == "Session") {
        SetDispatch(result, m_namespace.Get());
    } else if (name == "Inspectors") {
        SetDispatch(result, m_inspectors.Get());
    } else if (name == "LanguageSettings") {
        SetDispatch(result, m_languageSettings.Get());
    }
    return S_OK;
}

ComPtr<FakeExplorer> FakeApplication::AddExplorerQuietly()
{
    ComPtr<FakeExplorer> explorer = MakeObject<FakeExplorer>(SharedLog());
    m_explorers->Items().push_back(explorer);
    return explorer;
}

ComPtr<FakeExplorer> FakeApplication::OpenExplorer()
{
    ComPtr<FakeExplorer> explorer = AddExplorerQuietly();
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = explorer.Get();
    m_explorers->Fire(IID_Outlook_ExplorersEvents, kDispidNewExplorer, {arg});
    return explorer;
}

void FakeApplication::RemoveExplorer(FakeExplorer* explorer)
{
    auto& items = m_explorers->Items();
    items.erase(std::remove_if(items.begin(), items.end(),
                               [explorer](const ComPtr<FakeExplorer>& item) { return item.Get() == explorer; }),
                items.end());
}

void FakeApplication::CloseExplorer(FakeExplorer* explorer)
{
    ComPtr<FakeExplorer> keep(explorer);
    const bool countsClosing = !m_version.empty() && m_version[0] == '9';
    if (!countsClosing)
        RemoveExplorer(explorer);
    explorer->Fire(IID_Outlook_ExplorerEvents, kDispidExplorerClose);
    if (countsClosing)
        RemoveExplorer(explorer);
}

ComPtr<FakeInspector> FakeApplication::OpenInspector()
{
    ComPtr<FakeInspector> inspector = MakeObject<FakeInspector>(SharedLog());
    m_inspectors->Items().push_back(inspector);
    return inspector;
}

void FakeApplication::CloseInspector(FakeInspector* inspector)
{
    auto& items = m_inspectors->Items();
    items.erase(std::remove_if(items.begin(), items.end(),
                               [inspector](const ComPtr<FakeInspector>& item) { return item.Get() == inspector; }),
                items.end());
    if (items.empty() && m_explorers->Items().empty())
        FireQuit();
}

void FakeApplication::FireQuit()
{
    Fire(IID_Outlook_ApplicationEvents, kDispidApplicationQuit);
}

void FakeApplication::FireOptionsPagesAdd(IDispatch* pages)
{
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = pages;
    Fire(IID_Outlook_ApplicationEvents, kDispidOptionsPagesAdd, {arg});
}

} // namespace fake
