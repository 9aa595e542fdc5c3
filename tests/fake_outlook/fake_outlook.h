// A fake Outlook object model for tests and for the simulated Outlook: Application,
// Explorers, Explorer, Inspectors, Inspector, NameSpace, PropertyPages and PropertyPageSite,
// reached through IDispatch by name and raising their events through connection points.
#pragma once

#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_outlook/fake_object.h"

namespace fake {

using Microsoft::WRL::ComPtr;

class FakeExplorer : public FakeObject {
public:
    explicit FakeExplorer(std::shared_ptr<CallLog> log);
    size_t CloseSinks();

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;
};

class FakeExplorers : public FakeObject {
public:
    explicit FakeExplorers(std::shared_ptr<CallLog> log);
    std::vector<ComPtr<FakeExplorer>>& Items() { return m_items; }
    // Overrides what Count answers; -1 answers the number of items.
    void SetCountOverride(long count) { m_countOverride = count; }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    std::vector<ComPtr<FakeExplorer>> m_items;
    long m_countOverride = -1;
};

// An item open in a window of its own (a message being written, for instance).
class FakeInspector : public FakeObject {
public:
    explicit FakeInspector(std::shared_ptr<CallLog> log);

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;
};

// Its calls are recorded as "Inspectors.Count", apart from the Explorers' "Count".
class FakeInspectors : public FakeObject {
public:
    explicit FakeInspectors(std::shared_ptr<CallLog> log);
    std::vector<ComPtr<FakeInspector>>& Items() { return m_items; }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    std::vector<ComPtr<FakeInspector>> m_items;
};

// One data store of the session; its calls are recorded as "Store.FilePath".
class FakeStore : public FakeObject {
public:
    FakeStore(std::shared_ptr<CallLog> log, std::wstring filePath);

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    std::wstring m_filePath;
};

// The session's stores (Count, and Item by a 1-based index); recorded as "Stores.Count" and
// "Stores.Item".
class FakeStores : public FakeObject {
public:
    explicit FakeStores(std::shared_ptr<CallLog> log);
    std::vector<ComPtr<FakeStore>>& Items() { return m_items; }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    std::vector<ComPtr<FakeStore>> m_items;
};

class FakeNameSpace : public FakeObject {
public:
    explicit FakeNameSpace(std::shared_ptr<CallLog> log);
    // Adds a store whose FilePath answers filePath (empty: a store on a server only).
    FakeStore& AddStore(const std::wstring& filePath);
    // Runs `action` inside each read of Stores, before it answers.
    void OnStoresCall(std::function<void()> action) { m_onStores = std::move(action); }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    ComPtr<FakeStores> m_stores;
    std::function<void()> m_onStores;
};

// Records what Add receives: the page's VARIANT type, its text and the title.
struct AddedPage {
    VARTYPE pageType;
    std::wstring page;
    std::wstring title;
};

class FakePropertyPages : public FakeObject {
public:
    explicit FakePropertyPages(std::shared_ptr<CallLog> log);
    const std::vector<AddedPage>& Added() const { return m_added; }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    std::vector<AddedPage> m_added;
};

class FakePropertyPageSite : public FakeObject {
public:
    explicit FakePropertyPageSite(std::shared_ptr<CallLog> log);
    int StatusChanges() const { return m_statusChanges; }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    int m_statusChanges = 0;
};

// Office's LanguageSettings: LanguageID(msoLanguageIDUI) answers the language set (1033 unless
// told otherwise); the other types answer the same.
class FakeLanguageSettings : public FakeObject {
public:
    explicit FakeLanguageSettings(std::shared_ptr<CallLog> log);
    void SetLanguage(long language) { m_language = language; }
    // The msoLanguageID type the last LanguageID call asked for (-1 before any).
    long AskedType() const { return m_askedType; }

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    long m_language = 1033;
    long m_askedType = -1;
};

class FakeApplication : public FakeObject {
public:
    // version: the text Version answers ("16.0.0.0"; "9.0.0.0" for Outlook 2000, which counts
    // the closing Explorer when Close arrives).
    explicit FakeApplication(const std::string& version = "16.0.0.0");
    ~FakeApplication() override;

    static ComPtr<FakeApplication> Create(const std::string& version = "16.0.0.0");

    FakeExplorers& ExplorersObject() { return *m_explorers.Get(); }
    FakeInspectors& InspectorsObject() { return *m_inspectors.Get(); }
    FakeNameSpace& NameSpaceObject() { return *m_namespace.Get(); }
    FakeLanguageSettings& LanguageSettingsObject() { return *m_languageSettings.Get(); }
    void SetVersion(const std::string& version) { m_version = version; }
    int QuitCalls() const { return m_quitCalls; }
    // Runs when Quit is called (the simulated Outlook closes its windows there).
    void OnQuitCall(std::function<void()> action) { m_onQuit = std::move(action); }

    // Opens an Explorer: it joins the collection and NewExplorer is raised.
    ComPtr<FakeExplorer> OpenExplorer();
    // An Explorer that is open before the add-in starts (no event).
    ComPtr<FakeExplorer> AddExplorerQuietly();
    // Closes an Explorer: Close is raised and it leaves the collection (before Close on
    // version 9, after it on later versions).
    void CloseExplorer(FakeExplorer* explorer);
    // Opens an item in an Inspector window (no event: the add-in does not listen for it).
    ComPtr<FakeInspector> OpenInspector();
    // Closes an Inspector. When it was Outlook's last window (no Explorer and no other
    // Inspector left), Outlook quits by itself as the real one does: Quit is raised.
    void CloseInspector(FakeInspector* inspector);
    void FireQuit();
    void FireOptionsPagesAdd(IDispatch* pages);

protected:
    HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) override;

private:
    void RemoveExplorer(FakeExplorer* explorer);

    std::string m_version;
    ComPtr<FakeExplorers> m_explorers;
    ComPtr<FakeInspectors> m_inspectors;
    ComPtr<FakeNameSpace> m_namespace;
    ComPtr<FakeLanguageSettings> m_languageSettings;
    int m_quitCalls = 0;
    std::function<void()> m_onQuit;
};

} // namespace fake
