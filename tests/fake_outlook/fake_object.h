// The base of the fake Outlook object model: IDispatch by name, connection points, a shared
// record of every call, calls that can be made to fail or to return nothing, a visible
// reference count, and Outlook's rule that a call from any thread but the one that created
// the object is answered with RPC_E_WRONG_THREAD.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fake {

struct CallRecord {
    std::string name;  // "Quit", "Session", "Advise(ApplicationEvents)", ...
    DWORD threadId;    // the calling thread
    HRESULT result;    // what the caller got
};

// Shared by all objects of one fake Outlook, so that the order across objects shows.
class CallLog {
public:
    void Add(const std::string& name, HRESULT result);
    std::vector<CallRecord> Records() const;
    // The names of the calls made, in order, optionally only those that succeeded.
    std::vector<std::string> Names(bool succeededOnly = false) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<CallRecord> m_records;
};

class FakeObject;

class FakeConnectionPoint final : public IConnectionPoint {
public:
    FakeConnectionPoint(FakeObject* container, const IID& iid, const char* name);
    ~FakeConnectionPoint();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    const IID& Iid() const { return m_iid; }
    const std::string& Name() const { return m_name; }
    size_t SinkCount() const { return m_sinks.size(); }
    // Invokes every subscribed sink with args given in natural order. Sinks may unsubscribe
    // while this runs.
    void Fire(DISPID dispid, const std::vector<VARIANT>& args);
    void ReleaseAll();

private:
    FakeObject* m_container;
    IID m_iid;
    std::string m_name;
    std::map<DWORD, IDispatch*> m_sinks;
    DWORD m_nextCookie = 1;
};

class FakeObject : public IDispatch, public IConnectionPointContainer {
public:
    FakeObject(std::shared_ptr<CallLog> log, const IID& iid, std::vector<std::wstring> members);
    virtual ~FakeObject();
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // --- controls for tests ---
    // Every later call of `name` (a member, "Advise" or "Unadvise") fails with hr.
    void FailCall(const std::string& name, HRESULT hr);
    // Every later read of property `name` yields VT_EMPTY.
    void ReturnNothing(const std::string& name);
    void Reset(const std::string& name);
    // References held on the object, the test's own included.
    LONG RefCount() const { return m_refs; }
    // Subscribed sinks of an event interface.
    size_t SinkCount(const IID& eventIid);
    void Fire(const IID& eventIid, DISPID dispid, const std::vector<VARIANT>& args = {});
    DWORD OwnerThread() const { return m_ownerThread; }
    CallLog& Log() { return *m_log; }
    std::shared_ptr<CallLog> SharedLog() const { return m_log; }

    // --- for connection points ---
    // Records `name`; returns the failure configured for it, or S_OK.
    HRESULT Record(const std::string& name);
    HRESULT Check(const std::string& name);

protected:
    void AddConnectionPoint(const IID& iid, const char* name);
    // Calls of this object's members are recorded as prefix + name ("Inspectors.Count"), so
    // that members of the same name on different collections can be told apart.
    void SetRecordPrefix(const std::string& prefix) { m_recordPrefix = prefix; }
    bool ReturnsNothing(const std::string& name) const;
    // Carries out member `name`. Arguments come in DISPPARAMS order (last first).
    virtual HRESULT Member(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) = 0;

private:
    std::shared_ptr<CallLog> m_log;
    IID m_iid;
    std::vector<std::wstring> m_members;
    std::vector<FakeConnectionPoint*> m_points;
    std::map<std::string, HRESULT> m_failures;
    std::map<std::string, bool> m_empty;
    DWORD m_ownerThread;
    std::string m_recordPrefix;
    volatile LONG m_refs = 1;
};

// Takes over the one reference a new object starts with. (MinGW's ComPtr::Attach adds a
// reference of its own, unlike the platform's, so it cannot be used for this.)
template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* created)
{
    Microsoft::WRL::ComPtr<T> owner(created);
    created->Release();
    return owner;
}

// Makes a VT_DISPATCH VARIANT holding one new reference (the caller clears it).
void SetDispatch(VARIANT* result, IDispatch* object);
std::string Narrow(const std::wstring& text);

} // namespace fake
