// Vantrel.dll's registration resources: the type library VantrelLib, the registry scripts, the
// toolbox bitmap and the Event Log's message table, read from the built DLL.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstring>
#include <string>
#include <vector>

#include "addin/addin_interfaces.h"
#include "com/raii.h"
#include "server/server_test_support.h"
#include "server_ids.h"
#include "vantrel_events.h"

using Microsoft::WRL::ComPtr;

namespace {

const GUID kStdOleLibId = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// A dual interface's flags; its dispatch half, which the library lists, has them without
// OLE automation, which concerns the vtable half only.
const WORD kDualInterfaceFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                                 TYPEFLAG_FDISPATCHABLE;
const WORD kDispatchHalfFlags = kDualInterfaceFlags & ~TYPEFLAG_FOLEAUTOMATION;

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring Text(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring(L"<null>");
}

class ServerTypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(LoadTypeLibEx(Wide(ServerDllPath()).c_str(), REGKIND_NONE, &m_library), S_OK);
    }

    ComPtr<ITypeLib> m_library;
};

TEST_F(ServerTypeLibraryTest, LibraryAttributes)
{
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(m_library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, LIBID_VantrelLib);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->syskind, SYS_WIN64);
    // The loader's own "has a disk image" mark aside, the library carries no flags.
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    m_library->ReleaseTLibAttr(attributes);

    UniqueBstr name, doc, helpFile;
    DWORD helpContext = 1;
    ASSERT_EQ(m_library->GetDocumentation(-1, name.put(), doc.put(), &helpContext, helpFile.put()), S_OK);
    EXPECT_EQ(Text(name.get()), L"VantrelLib");
    EXPECT_EQ(Text(doc.get()), L"Vantrel 1.0 Type Library");
    EXPECT_EQ(helpContext, 0u);
    EXPECT_EQ(SysStringLen(helpFile.get()), 0u) << "no help file";
}

TEST_F(ServerTypeLibraryTest, HoldsItsFourTypesInOrder)
{
    const struct {
        const wchar_t* name;
        TYPEKIND kind;
        const GUID* guid;
        WORD flags;
        const wchar_t* doc;
    } expected[] = {
        {L"AddinPropertyPage", TKIND_COCLASS, &CLSID_AddinPropertyPage, TYPEFLAG_FCANCREATE, L"AddinPropertyPage Class"},
        {L"IAddinPropertyPage", TKIND_DISPATCH, &IID_IAddinPropertyPage, kDispatchHalfFlags,
         L"IAddinPropertyPage Interface"},
        {L"Connect", TKIND_COCLASS, &CLSID_Connect, TYPEFLAG_FCANCREATE, L"Connect Class"},
        {L"IConnect", TKIND_DISPATCH, &IID_IConnect, kDispatchHalfFlags, L"IConnect Interface"},
    };
    ASSERT_EQ(m_library->GetTypeInfoCount(), 4u);
    for (UINT i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "type " << i);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(m_library->GetTypeInfo(i, &info), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->typekind, expected[i].kind);
        EXPECT_EQ(attributes->guid, *expected[i].guid);
        EXPECT_EQ(attributes->wTypeFlags, expected[i].flags);
        EXPECT_EQ(attributes->wMajorVerNum, 0);
        EXPECT_EQ(attributes->wMinorVerNum, 0);
        info->ReleaseTypeAttr(attributes);

        UniqueBstr name, doc;
        DWORD helpContext = 1;
        ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), doc.put(), &helpContext, nullptr), S_OK);
        EXPECT_EQ(Text(name.get()), expected[i].name);
        EXPECT_EQ(Text(doc.get()), expected[i].doc);
        EXPECT_EQ(helpContext, 0u);

        ComPtr<ITypeInfo2> info2;
        ASSERT_EQ(info.As(&info2), S_OK);
        CUSTDATA custom{};
        ASSERT_EQ(info2->GetAllCustData(&custom), S_OK);
        EXPECT_EQ(custom.cCustData, 0u);
        ClearCustData(&custom);

        // A coclass implements the interface that follows it, as its default.
        if (expected[i].kind == TKIND_COCLASS) {
            INT implFlags = 0;
            EXPECT_EQ(info->GetImplTypeFlags(0, &implFlags), S_OK);
            EXPECT_EQ(implFlags, IMPLTYPEFLAG_FDEFAULT);
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> implemented;
            ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(ref, &implemented), S_OK);
            ASSERT_EQ(implemented->GetTypeAttr(&attributes), S_OK);
            EXPECT_EQ(attributes->guid, *expected[i + 1].guid);
            implemented->ReleaseTypeAttr(attributes);
        }
    }
}

TEST_F(ServerTypeLibraryTest, DualInterfacesDeriveFromIDispatchWithNoFunctionsOfTheirOwn)
{
    for (const IID* iid : {&IID_IAddinPropertyPage, &IID_IConnect}) {
        ComPtr<ITypeInfo> dispatch;
        ASSERT_EQ(m_library->GetTypeInfoOfGuid(*iid, &dispatch), S_OK);
        // The vtable half of the dual interface.
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> vtable;
        ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &ref), S_OK);
        ASSERT_EQ(dispatch->GetRefTypeInfo(ref, &vtable), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
        EXPECT_EQ(attributes->wTypeFlags, kDualInterfaceFlags);
        EXPECT_EQ(attributes->cFuncs, 0);
        EXPECT_EQ(attributes->cImplTypes, 1);
        vtable->ReleaseTypeAttr(attributes);

        // Its base is IDispatch, from the imported standard OLE library 2.0.
        ComPtr<ITypeInfo> base;
        ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(vtable->GetRefTypeInfo(ref, &base), S_OK);
        ASSERT_EQ(base->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->guid, IID_IDispatch);
        base->ReleaseTypeAttr(attributes);
        ComPtr<ITypeLib> baseLibrary;
        UINT index = 0;
        ASSERT_EQ(base->GetContainingTypeLib(&baseLibrary, &index), S_OK);
        TLIBATTR* libraryAttributes = nullptr;
        ASSERT_EQ(baseLibrary->GetLibAttr(&libraryAttributes), S_OK);
        EXPECT_EQ(libraryAttributes->guid, kStdOleLibId);
        EXPECT_EQ(libraryAttributes->wMajorVerNum, 2);
        EXPECT_EQ(libraryAttributes->wMinorVerNum, 0);
        baseLibrary->ReleaseTLibAttr(libraryAttributes);
    }
}

// The DLL's resources without running its code.
class ServerResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module.reset(LoadLibraryExA(ServerDllPath().c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(m_module.valid());
    }

    std::vector<WORD> Languages(const char* type, WORD id)
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(
            m_module.get(), type, MAKEINTRESOURCEA(id),
            [](HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) -> BOOL {
                reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }

    std::string Data(const char* type, WORD id)
    {
        HRSRC info = FindResourceA(m_module.get(), MAKEINTRESOURCEA(id), type);
        if (!info)
            return std::string();
        const void* data = LockResource(LoadResource(m_module.get(), info));
        return data ? std::string(static_cast<const char*>(data), SizeofResource(m_module.get(), info))
                    : std::string();
    }

    UniqueModule m_module;
};

TEST_F(ServerResourcesTest, RegistrationResourcesAreUsEnglish)
{
    const std::vector<WORD> english = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)};
    for (WORD id : {IDR_VANTREL, IDR_ADDINPROPERTYPAGE, IDR_CONNECT})
        EXPECT_EQ(Languages("REGISTRY", id), english) << "REGISTRY " << id;
    EXPECT_EQ(Languages("TYPELIB", IDR_TYPELIB), english);
    EXPECT_EQ(Languages(reinterpret_cast<const char*>(RT_BITMAP), IDB_ADDINPROPERTYPAGE), english);
}

TEST_F(ServerResourcesTest, RegistryScriptsAreAsciiWithCrLfAndTabIndentation)
{
    for (WORD id : {IDR_VANTREL, IDR_ADDINPROPERTYPAGE, IDR_CONNECT}) {
        SCOPED_TRACE(testing::Message() << "REGISTRY " << id);
        const std::string script = Data("REGISTRY", id);
        ASSERT_FALSE(script.empty());
        bool lineStart = true;
        for (std::size_t i = 0; i < script.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(script[i]);
            ASSERT_LT(c, 0x80u) << "at " << i;
            ASSERT_NE(c, '\0') << "at " << i;
            if (c == '\n') {
                ASSERT_TRUE(i > 0 && script[i - 1] == '\r') << "bare LF at " << i;
            }
            if (c == '\r') {
                ASSERT_TRUE(i + 1 < script.size() && script[i + 1] == '\n') << "bare CR at " << i;
            }
            if (lineStart) {
                ASSERT_NE(c, ' ') << "indented with a space at " << i;
            }
            lineStart = c == '\n' || (lineStart && c == '\t');
        }
    }
}

TEST_F(ServerResourcesTest, ToolboxBitmapIs16By16With16Colours)
{
    const std::string bitmap = Data(reinterpret_cast<const char*>(RT_BITMAP), IDB_ADDINPROPERTYPAGE);
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof(header));
    EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header.biWidth, 16);
    EXPECT_EQ(header.biHeight, 16);
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 16) << header.biClrUsed;
    // Header, 16 colours, 16 rows of 8 bytes.
    EXPECT_EQ(bitmap.size(), sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD) + 16 * 8);
}

TEST_F(ServerResourcesTest, MessageTableFormatsEveryEventWithItsInsertedStrings)
{
    // As Event Viewer formats an entry: the DLL named by EventMessageFile, the event's ID, its
    // strings. The IDs are the stable ones the administrator guide lists.
    const struct {
        DWORD id;
        DWORD stableId;
        std::vector<std::wstring> strings;
        const wchar_t* part; // a piece of the text, with the strings in their places
    } cases[] = {
        {VANTREL_EVENT_OUTLOOK_ENDED, 1000, {L"31", L"47", L"16.0.17928.20114", L"12"},
         L"ended Outlook's process. Outlook had been asked to quit 47 seconds before and was still running when the "
         L"wait of 31 seconds (the Delay setting) was over; after that wait, Outlook was given 12 seconds more to "
         L"finish writing its data files. Outlook version: 16.0.17928.20114."},
        {VANTREL_EVENT_OUTLOOK_LET_GO, 1001, {L"32", L"9", L"16.0.17928.20115"},
         L"did not end Outlook's process. Outlook had been asked to quit 9 seconds before; the wait (the Delay "
         L"setting) was 32 seconds. Outlook version: 16.0.17928.20115."},
        {VANTREL_EVENT_OUTLOOK_CALL_FAILED, 1002, {L"Logoff", L"0x80010108"},
         L"the Outlook call Logoff failed or did not answer (HRESULT 0x80010108)"},
        {VANTREL_EVENT_DISABLED_BY_POLICY, 1003, {}, L"Enabled switched off by an enforced setting"},
        {VANTREL_EVENT_PREVIOUS_RUN_CRASHED, 1004, {L"exception 0xC0000005 at OUTLOOK.EXE+0x1A2B"},
         L"unhandled exception. Vantrel's exception filter ended the process and recorded: exception 0xC0000005 at "
         L"OUTLOOK.EXE+0x1A2B"},
        {VANTREL_EVENT_TERMINATION_FAILED, 1005, {L"5", L"16.0.17928.20116"},
         L"decided to end Outlook's process, but ending it failed with error 5. Outlook keeps running until it ends "
         L"by itself. Outlook version: 16.0.17928.20116."},
        {VANTREL_EVENT_WRITES_NOT_FINISHED, 1006, {L"C:\\Users\\\u0141ukasz\\Outlook.pst", L"60"},
         L"the longest wait for the writes, 60 seconds (the WaitForWrites setting), ran out. The file last seen "
         L"changing: C:\\Users\\\u0141ukasz\\Outlook.pst."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "event " << c.stableId);
        EXPECT_EQ(c.id, c.stableId);
        std::vector<DWORD_PTR> arguments;
        for (const std::wstring& text : c.strings)
            arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
            m_module.get(), c.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text), 0,
            reinterpret_cast<va_list*>(arguments.empty() ? nullptr : arguments.data()));
        ASSERT_NE(length, 0u) << "error " << GetLastError();
        const std::wstring message(text, length);
        LocalFree(text);
        EXPECT_NE(message.find(c.part), std::wstring::npos) << std::string(message.begin(), message.end());
        EXPECT_EQ(message.find(L'%'), std::wstring::npos) << "an insert left unfilled";
    }
}

} // namespace
