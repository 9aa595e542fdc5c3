#include "fake_outlook/fake_object.h"

#include <olectl.h>

#include <algorithm>

namespace fake {

void CallLog::Add(const std::string& name, HRESULT result)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.push_back({name, GetCurrentThreadId(), result});
}

std::vector<CallRecord> CallLog::Records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

std::vector<std::string> CallLog::Names(bool succeededOnly) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const CallRecord& record : m_records)
        if (!succeededOnly || SUCCEEDED(record.result))
            names.push_back(record.name);
    return names;
}

void CallLog::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += static_cast<char>(c < 128 ? c : '?');
    return narrow;
}

void SetDispatch(VARIANT* result, IDispatch* object)
{
    if (!result)
        return;
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    if (object)
        object->AddRef();
}

// ---------------------------------------------------------------- connection point

FakeConnectionPoint::FakeConnectionPoint(FakeObject* container, const IID& iid, const char* name)
    : m_container(container), m_iid(iid), m_name(name)
{
}

FakeConnectionPoint::~FakeConnectionPoint()
{
    ReleaseAll();
}

void FakeConnectionPoint::ReleaseAll()
{
    std::map<DWORD, IDispatch*> sinks;
    sinks.swap(m_sinks);
    for (auto& entry : sinks)
        entry.second->Release();
}

// The connection point lives as long as its container: its references are the container's.
STDMETHODIMP FakeConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint)
        return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeConnectionPoint::AddRef()
{
    return m_container->AddRef();
}

STDMETHODIMP_(ULONG) FakeConnectionPoint::Release()
{
    return m_container->Release();
}

STDMETHODIMP FakeConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

STDMETHODIMP FakeConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = m_container;
    m_container->AddRef();
    return S_OK;
}

STDMETHODIMP FakeConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    const HRESULT configured = m_container->Check("Advise");
    HRESULT hr = configured;
    if (SUCCEEDED(hr)) {
        if (!sink || !cookie) {
            hr = E_POINTER;
        } else {
            // As a real source does: ask the sink for the event interface itself.
            IDispatch* dispatch = nullptr;
            hr = sink->QueryInterface(m_iid, reinterpret_cast<void**>(&dispatch));
            if (SUCCEEDED(hr)) {
                *cookie = m_nextCookie++;
                m_sinks[*cookie] = dispatch;
            } else {
                hr = CONNECT_E_CANNOTCONNECT;
            }
        }
    }
    m_container->Log().Add("Advise(" + m_name + ")", hr);
    return hr;
}

STDMETHODIMP FakeConnectionPoint::Unadvise(DWORD cookie)
{
    HRESULT hr = m_container->Check("Unadvise");
    if (SUCCEEDED(hr)) {
        auto found = m_sinks.find(cookie);
        if (found == m_sinks.end()) {
            hr = CONNECT_E_NOCONNECTION;
        } else {
            IDispatch* sink = found->second;
            m_sinks.erase(found);
            sink->Release();
        }
    }
    m_container->Log().Add("Unadvise(" + m_name + ")", hr);
    return hr;
}

STDMETHODIMP FakeConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

void FakeConnectionPoint::Fire(DISPID dispid, const std::vector<VARIANT>& args)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    // A sink may unsubscribe itself from inside its handler: walk a copy, holding each sink.
    std::vector<std::pair<DWORD, IDispatch*>> sinks(m_sinks.begin(), m_sinks.end());
    for (auto& entry : sinks)
        entry.second->AddRef();
    for (auto& entry : sinks) {
        EXCEPINFO exception{};
        UINT argError = 0;
        entry.second->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &exception,
                             &argError);
    }
    for (auto& entry : sinks)
        entry.second->Release();
}

// ---------------------------------------------------------------- object

FakeObject::FakeObject(std::shared_ptr<CallLog> log, const IID& iid, std::vector<std::wstring> members)
    : m_log(std::move(log)), m_iid(iid), m_members(std::move(members)), m_ownerThread(GetCurrentThreadId())
{
}

FakeObject::~FakeObject()
{
    for (FakeConnectionPoint* point : m_points)
        delete point;
}

void FakeObject::AddConnectionPoint(const IID& iid, const char* name)
{
    m_points.push_back(new FakeConnectionPoint(this, iid, name));
}

STDMETHODIMP FakeObject::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid)
        *ppv = static_cast<IDispatch*>(this);
    else if (riid == IID_IConnectionPointContainer && !m_points.empty())
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeObject::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) FakeObject::Release()
{
    const LONG count = InterlockedDecrement(&m_refs);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP FakeObject::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP FakeObject::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

STDMETHODIMP FakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!names || !ids || count == 0)
        return E_POINTER;
    const std::wstring wanted = names[0];
    if (GetCurrentThreadId() != m_ownerThread) {
        m_log->Add(m_recordPrefix + Narrow(wanted), RPC_E_WRONG_THREAD);
        return RPC_E_WRONG_THREAD;
    }
    for (size_t i = 0; i < m_members.size(); ++i) {
        if (_wcsicmp(m_members[i].c_str(), wanted.c_str()) == 0) {
            ids[0] = static_cast<DISPID>(i + 1);
            for (UINT k = 1; k < count; ++k)
                ids[k] = DISPID_UNKNOWN;
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP FakeObject::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, UINT*)
{
    if (dispid < 1 || static_cast<size_t>(dispid) > m_members.size())
        return DISP_E_MEMBERNOTFOUND;
    const std::string name = Narrow(m_members[static_cast<size_t>(dispid - 1)]);
    if (GetCurrentThreadId() != m_ownerThread) {
        m_log->Add(m_recordPrefix + name, RPC_E_WRONG_THREAD);
        return RPC_E_WRONG_THREAD;
    }
    if (result)
        VariantInit(result);
    HRESULT hr = Check(name);
    if (SUCCEEDED(hr)) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        hr = Member(name, flags, params ? params : &none, result);
    }
    m_log->Add(m_recordPrefix + name, hr);
    return hr;
}

STDMETHODIMP FakeObject::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FakeObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    for (FakeConnectionPoint* candidate : m_points) {
        if (candidate->Iid() == riid) {
            *point = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

void FakeObject::FailCall(const std::string& name, HRESULT hr)
{
    m_failures[name] = hr;
}

void FakeObject::ReturnNothing(const std::string& name)
{
    m_empty[name] = true;
}

void FakeObject::Reset(const std::string& name)
{
    m_failures.erase(name);
    m_empty.erase(name);
}

bool FakeObject::ReturnsNothing(const std::string& name) const
{
    return m_empty.count(name) != 0;
}

HRESULT FakeObject::Check(const std::string& name)
{
    auto found = m_failures.find(name);
    return found == m_failures.end() ? S_OK : found->second;
}

HRESULT FakeObject::Record(const std::string& name)
{
    const HRESULT hr = Check(name);
    m_log->Add(name, hr);
    return hr;
}

size_t FakeObject::SinkCount(const IID& eventIid)
{
    for (FakeConnectionPoint* point : m_points)
        if (point->Iid() == eventIid)
            return point->SinkCount();
    return 0;
}

void FakeObject::Fire(const IID& eventIid, DISPID dispid, const std::vector<VARIANT>& args)
{
    for (FakeConnectionPoint* point : m_points)
        if (point->Iid() == eventIid)
            point->Fire(dispid, args);
}

} // namespace fake
