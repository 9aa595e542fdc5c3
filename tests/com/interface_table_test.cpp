// QueryInterface from a table: the row's interface with one reference more, IUnknown as one
// identity whichever interface is asked, and a refusal that leaves *ppv null and the count alone.
#include <gtest/gtest.h>

#include <objidl.h>

#include <cstdint>

#include "com/interface_table.h"

namespace {

// An object with two interfaces on two vtables (so each has its own pointer) and a plain count.
// `extra` is a row whose IID is decided at run time, as an event sink's event interface is.
class TwoFaces final : public IClassFactory, public IPersist {
public:
    explicit TwoFaces(const IID& extra) : m_extra(extra) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override
    {
        const InterfaceEntry<TwoFaces> interfaces[] = {
            InterfaceRow<TwoFaces, IClassFactory>(IID_IUnknown),
            InterfaceRow<TwoFaces, IClassFactory>(IID_IClassFactory),
            InterfaceRow<TwoFaces, IPersist>(IID_IPersist),
            InterfaceRow<TwoFaces, IPersist>(m_extra),
        };
        return QueryInterfaceFromTable(this, interfaces, riid, ppv, [this](REFIID iid) noexcept -> void* {
            ++otherAsked;
            return iid == IID_IOleWindow ? &otherAnswer : nullptr;
        });
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(++count); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return static_cast<ULONG>(--count); }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP LockServer(BOOL) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetClassID(CLSID*) noexcept override { return E_NOTIMPL; }

    long count = 1;
    int otherAsked = 0;
    // Stands for an interface that another part of the object answers (the control plumbing);
    // an IUnknown of its own, so the reference taken through it is seen apart.
    struct Other final : IUnknown {
        STDMETHODIMP QueryInterface(REFIID, void**) noexcept override { return E_NOTIMPL; }
        STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(++count); }
        STDMETHODIMP_(ULONG) Release() noexcept override { return static_cast<ULONG>(--count); }
        long count = 1;
    } otherAnswer;

private:
    IID m_extra;
};

void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

TEST(InterfaceTable, AnswersEachRowWithOneReferenceAndOneIdentity)
{
    TwoFaces object(IID_IPersistStream);
    IClassFactory* const factory = &object;
    IPersist* const persist = &object;
    ASSERT_NE(static_cast<void*>(factory), static_cast<void*>(persist));
    const struct {
        const char* what;
        const IID& iid;
        void* expected;
    } cases[] = {
        {"IUnknown", IID_IUnknown, factory},
        {"IClassFactory", IID_IClassFactory, factory},
        {"IPersist", IID_IPersist, persist},
        {"the row decided at run time", IID_IPersistStream, persist},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        void* answer = kUntouched;
        const long before = object.count;
        EXPECT_EQ(object.QueryInterface(c.iid, &answer), S_OK);
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(object.count, before + 1);
    }
    // IUnknown asked through the other interface is the same pointer: COM's identity rule.
    void* unknown = nullptr;
    EXPECT_EQ(persist->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<void*>(factory));
    EXPECT_EQ(object.otherAsked, 0) << "the table answered every one of these";
}

TEST(InterfaceTable, OtherPartAnswersOnlyWhatTheTableLacks)
{
    TwoFaces object(IID_IPersistStream);
    void* answer = nullptr;
    EXPECT_EQ(object.QueryInterface(IID_IOleWindow, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(&object.otherAnswer));
    EXPECT_EQ(object.otherAnswer.count, 2) << "the reference is taken through the pointer handed out";
    EXPECT_EQ(object.count, 1);
    EXPECT_EQ(object.otherAsked, 1);
}

TEST(InterfaceTable, RefusalLeavesNullAndTheCountAlone)
{
    // The run-time row holds IID_NULL here, as an event sink's would before it knows its
    // interface: IID_NULL is still refused.
    TwoFaces object(IID_NULL);
    for (const IID* iid : {&IID_IDispatch, &IID_NULL}) {
        void* answer = kUntouched;
        EXPECT_EQ(object.QueryInterface(*iid, &answer), E_NOINTERFACE);
        EXPECT_EQ(answer, nullptr);
    }
    EXPECT_EQ(object.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(object.count, 1);
    EXPECT_EQ(object.otherAnswer.count, 1);
}

} // namespace
