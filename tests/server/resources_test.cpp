// Vantrel.dll's registration resources: the type library VantrelLib, the registry scripts and the
// toolbox bitmap, read from the built DLL; and the Event Log's message table, read from the
// message file beside it (VantrelEvents.dll) in every language and regional variant.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "addin/addin_interfaces.h"
#include "com/raii.h"
#include "win32/text_convert.h"
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
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
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

// VantrelEvents.dll, beside the DLL.
std::string EventsDllPath()
{
    const std::string dll = ServerDllPath();
    return dll.substr(0, dll.find_last_of('\\') + 1) + "VantrelEvents.dll";
}

// The resources of both DLLs without running their code.
class ServerResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module.reset(LoadLibraryExA(ServerDllPath().c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(m_module.valid());
        m_events.reset(LoadLibraryExA(EventsDllPath().c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(m_events.valid()) << EventsDllPath();
    }

    static BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list)
    {
        reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
        return TRUE;
    }

    std::vector<WORD> Languages(const char* type, WORD id) { return Languages(m_module.get(), type, id); }
    static std::vector<WORD> Languages(HMODULE module, const char* type, WORD id)
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(module, type, MAKEINTRESOURCEA(id), AddLanguage,
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
    UniqueModule m_events;
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
        {VANTREL_EVENT_OUTLOOK_ENDED, 1000, {L"31", L"47", L"16.0.17928.20114", L"6"},
         L"ended Outlook's process. Outlook had been asked to quit 47 seconds before and was still running when the "
         L"wait of 31 seconds (the Delay setting) was over; after that wait, Outlook was given 6 seconds more to "
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
         L"but ending it failed with error 5. Outlook keeps running until it ends by itself. Outlook version: "
         L"16.0.17928.20116."},
        {VANTREL_EVENT_WRITES_NOT_FINISHED, 1006, {L"C:\\Users\\\u0141ukasz\\Outlook.pst", L"60"},
         L"the longest wait for the writes, 60 seconds (the WaitForWrites setting), ran out. The file last seen "
         L"changing: C:\\Users\\\u0141ukasz\\Outlook.pst."},
        {VANTREL_EVENT_WRITES_COUNTED_NOT_FINISHED, 1007, {L"60"},
         L"the longest wait for the writes, 60 seconds (the WaitForWrites setting), ran out. No data file was seen "
         L"changing; Outlook's process was still writing by its own write count."},
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
            m_events.get(), c.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text), 0,
            reinterpret_cast<va_list*>(arguments.empty() ? nullptr : arguments.data()));
        ASSERT_NE(length, 0u) << "error " << GetLastError();
        const std::wstring message(text, length);
        LocalFree(text);
        EXPECT_NE(message.find(c.part), std::wstring::npos) << std::string(message.begin(), message.end());
        EXPECT_EQ(message.find(L'%'), std::wstring::npos) << "an insert left unfilled";
    }
}

// The message table in every language Vantrel speaks. Event Viewer formats an entry with the
// viewer's language, so each language needs every message, with the inserts that the code fills.
const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kLanguages[] = {
    kEnglish,
    MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
    MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH),
    MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN),
    MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN),
    MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN),
    MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN),
    MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
};
const DWORD kEventIds[] = {
    VANTREL_EVENT_OUTLOOK_ENDED,       VANTREL_EVENT_OUTLOOK_LET_GO,     VANTREL_EVENT_OUTLOOK_CALL_FAILED,
    VANTREL_EVENT_DISABLED_BY_POLICY,  VANTREL_EVENT_PREVIOUS_RUN_CRASHED, VANTREL_EVENT_TERMINATION_FAILED,
    VANTREL_EVENT_WRITES_NOT_FINISHED, VANTREL_EVENT_WRITES_COUNTED_NOT_FINISHED,
};

// The IDs of one language's message table, read from the resource's own blocks: an ID that a
// language lacks, or has beyond English's, shows here whatever FormatMessage would fall back to.
// A text stored in ANSI (not UTF-16) is listed under `ansi`.
struct TableIds {
    std::set<DWORD> ids;
    std::set<DWORD> ansi;
};

TableIds ReadTableIds(HMODULE module, WORD language)
{
    TableIds table;
    HRSRC info = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_MESSAGETABLE), MAKEINTRESOURCEW(1), language);
    if (!info)
        return table;
    const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    const DWORD size = SizeofResource(module, info);
    if (!base || size < sizeof(DWORD))
        return table;
    const auto* data = reinterpret_cast<const MESSAGE_RESOURCE_DATA*>(base);
    for (DWORD block = 0; block < data->NumberOfBlocks; ++block) {
        const MESSAGE_RESOURCE_BLOCK& range = data->Blocks[block];
        DWORD offset = range.OffsetToEntries;
        for (DWORD id = range.LowId; id <= range.HighId && offset + 4 <= size; ++id) {
            const auto* entry = reinterpret_cast<const MESSAGE_RESOURCE_ENTRY*>(base + offset);
            table.ids.insert(id);
            if ((entry->Flags & 1) == 0) // MESSAGE_RESOURCE_UNICODE
                table.ansi.insert(id);
            if (entry->Length == 0)
                break;
            offset += entry->Length;
        }
    }
    return table;
}

// The message's text in that language with its inserts left as they are, without the line break
// that ends every message, or "<missing>".
std::wstring RawMessage(HMODULE module, DWORD id, WORD language)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        module, id, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0)
        return L"<missing>";
    std::wstring message(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return message;
}

// The numbers of the %N inserts a text names.
std::multiset<int> Inserts(const std::wstring& text)
{
    std::multiset<int> inserts;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == L'%' && iswdigit(text[i + 1])) {
            int number = 0;
            std::size_t j = i + 1;
            while (j < text.size() && iswdigit(text[j]))
                number = number * 10 + (text[j++] - L'0');
            inserts.insert(number);
        }
    }
    return inserts;
}

std::string Utf8(const std::wstring& text)
{
    return ToNarrow(text, CP_UTF8);
}

// Every Windows variant of a language Vantrel speaks, with the language whose texts it reads.
// Windows finds a message table by the reader's exact language only (a copy under another
// sublanguage, or a neutral one, is not used on Windows, though Wine falls back to one).
struct Variant {
    WORD language;
    WORD reads;
};
constexpr WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
constexpr WORD kFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
constexpr WORD kSpanish = MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN);
constexpr WORD kItalian = MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN);
constexpr WORD kPortuguese = MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN);
constexpr WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const Variant kVariants[] = {
    {0x0807, kGerman},  {0x0C07, kGerman},  {0x1007, kGerman},  {0x1407, kGerman},  {0x080C, kFrench},
    {0x0C0C, kFrench},  {0x100C, kFrench},  {0x140C, kFrench},  {0x180C, kFrench},  {0x040A, kSpanish},
    {0x080A, kSpanish}, {0x100A, kSpanish}, {0x140A, kSpanish}, {0x180A, kSpanish}, {0x1C0A, kSpanish},
    {0x200A, kSpanish}, {0x240A, kSpanish}, {0x280A, kSpanish}, {0x2C0A, kSpanish}, {0x300A, kSpanish},
    {0x340A, kSpanish}, {0x380A, kSpanish}, {0x3C0A, kSpanish}, {0x400A, kSpanish}, {0x440A, kSpanish},
    {0x480A, kSpanish}, {0x4C0A, kSpanish}, {0x500A, kSpanish}, {0x540A, kSpanish},
    // Catalan, Basque and Galician: Spanish, as Windows and Office fill these languages.
    {0x0403, kSpanish}, {0x042D, kSpanish}, {0x0456, kSpanish}, {0x0810, kItalian}, {0x0816, kPortuguese},
    {0x1004, kChinese},
};

TEST_F(ServerResourcesTest, MessageTableHasEveryLanguageAndVariantAndNoOther)
{
    std::vector<WORD> expected(std::begin(kLanguages), std::end(kLanguages));
    for (const Variant& variant : kVariants)
        expected.push_back(variant.language);
    std::vector<WORD> present = Languages(m_events.get(), reinterpret_cast<const char*>(RT_MESSAGETABLE), 1);
    std::sort(expected.begin(), expected.end());
    std::sort(present.begin(), present.end());
    EXPECT_EQ(present, expected);
    // Outlook's DLL carries none: the message file is the one that the registration names.
    EXPECT_TRUE(Languages(m_module.get(), reinterpret_cast<const char*>(RT_MESSAGETABLE), 1).empty());
}

// As Event Viewer formats an entry for a reader in Austria, Quebec, Mexico, Portugal or
// Singapore: the exact language's copy, with its language's texts (Traditional Chinese has none).
TEST_F(ServerResourcesTest, RegionalReadersGetTheirLanguagesTexts)
{
    for (const Variant& variant : kVariants) {
        SCOPED_TRACE(testing::Message() << "language 0x" << std::hex << variant.language);
        for (DWORD id : kEventIds) {
            const std::wstring text = RawMessage(m_events.get(), id, variant.language);
            EXPECT_EQ(text, RawMessage(m_events.get(), id, variant.reads)) << "event " << std::dec << id;
        }
    }
    // Spot checks of the two readers the administrators asked about.
    EXPECT_EQ(RawMessage(m_events.get(), VANTREL_EVENT_OUTLOOK_CALL_FAILED, 0x0C07).rfind(L"Vantrel hat abgebrochen", 0),
              0u);
    EXPECT_EQ(RawMessage(m_events.get(), VANTREL_EVENT_OUTLOOK_CALL_FAILED, 0x0C0C)
                  .rfind(L"Vantrel s'est arr\u00eat\u00e9 sans mettre fin", 0),
              0u);
    EXPECT_TRUE(FindResourceExW(m_events.get(), reinterpret_cast<LPCWSTR>(RT_MESSAGETABLE), MAKEINTRESOURCEW(1),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)) == nullptr);
}

TEST_F(ServerResourcesTest, EveryLanguageHasEveryMessageWithTheInsertsOfEnglish)
{
    const std::set<DWORD> events(std::begin(kEventIds), std::end(kEventIds));
    const TableIds english = ReadTableIds(m_events.get(), kEnglish);
    ASSERT_EQ(english.ids, events) << "the English table holds exactly the IDs the code reports";
    for (WORD language : kLanguages) {
        SCOPED_TRACE(testing::Message() << "language 0x" << std::hex << language);
        const TableIds table = ReadTableIds(m_events.get(), language);
        EXPECT_EQ(table.ids, events);
        EXPECT_TRUE(table.ansi.empty()) << "texts stored as ANSI, not UTF-16: " << table.ansi.size();
        for (DWORD id : kEventIds) {
            SCOPED_TRACE(testing::Message() << "event " << std::dec << id);
            const std::wstring text = RawMessage(m_events.get(), id, language);
            ASSERT_NE(text, L"<missing>") << "error " << GetLastError();
            EXPECT_EQ(Inserts(text), Inserts(RawMessage(m_events.get(), id, kEnglish))) << Utf8(text);
            EXPECT_EQ(text.find(L'\uFFFD'), std::wstring::npos) << "a character lost on the way: " << Utf8(text);
            EXPECT_EQ(text.find(L'?'), std::wstring::npos) << "a character garbled to '?': " << Utf8(text);
        }
    }
}

// The English texts are the ones administrators filter and search on: byte for byte.
TEST_F(ServerResourcesTest, EnglishMessagesAreExactlyTheTextsAdministratorsKnow)
{
    const std::map<DWORD, std::wstring> texts = {
        {1000, L"Vantrel ended Outlook's process. Outlook had been asked to quit %2 seconds before and was still "
               L"running when the wait of %1 seconds (the Delay setting) was over; after that wait, Outlook was "
               L"given %4 seconds more to finish writing its data files. Outlook version: %3."},
        {1001, L"Outlook let go of Vantrel while Vantrel was waiting for it to quit, so Vantrel did not end "
               L"Outlook's process. Outlook had been asked to quit %2 seconds before; the wait (the Delay setting) "
               L"was %1 seconds. Outlook version: %3."},
        {1002, L"Vantrel stopped without ending Outlook's process: the Outlook call %1 failed or did not answer "
               L"(HRESULT %2). Outlook keeps running until it ends by itself."},
        {1003, L"Vantrel was loaded with Enabled switched off by an enforced setting (the value Enabled under "
               L"SOFTWARE\\Policies\\Vantrel, set by Group Policy). It will not end Outlook's process in this run "
               L"of Outlook."},
        {1004, L"Outlook's previous run ended on an unhandled exception. Vantrel's exception filter ended the "
               L"process and recorded: %1"},
        {1005, L"Vantrel decided to end Outlook's process, but ending it failed with error %1. Outlook keeps "
               L"running until it ends by itself. Outlook version: %2."},
        {1006, L"Vantrel ended Outlook's process while Outlook was still writing its data files: the longest wait "
               L"for the writes, %2 seconds (the WaitForWrites setting), ran out. The file last seen changing: %1."},
        {1007, L"Vantrel ended Outlook's process while Outlook was still writing: the longest wait for the writes, "
               L"%1 seconds (the WaitForWrites setting), ran out. No data file was seen changing; Outlook's process "
               L"was still writing by its own write count."},
    };
    ASSERT_EQ(texts.size(), std::size(kEventIds));
    for (const auto& [id, text] : texts) {
        SCOPED_TRACE(testing::Message() << "event " << id);
        EXPECT_EQ(RawMessage(m_events.get(), id, kEnglish), text);
    }
}

// Each translation comes out of the table as the UTF-16 text written in the source: a wrong input
// code page for windmc would turn its accented letters, kana or hanzi into other characters.
TEST_F(ServerResourcesTest, TranslatedMessagesReadBackAsUtf16)
{
    const struct {
        WORD language;
        const wchar_t* text;
    } cases[] = {
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
         L"Vantrel hat den Outlook-Prozess beendet, w\u00e4hrend Outlook noch in seine Datendateien schrieb: Die "
         L"l\u00e4ngste Wartezeit auf die Schreibvorg\u00e4nge, %2 Sekunden (die Einstellung WaitForWrites), war "
         L"abgelaufen. Die Datei, an der zuletzt eine \u00c4nderung festgestellt wurde: %1."},
        {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH),
         L"Vantrel a mis fin au processus d'Outlook alors qu'Outlook \u00e9crivait encore dans ses fichiers de "
         L"donn\u00e9es\u00a0: l'attente maximale des \u00e9critures, %2 secondes (le param\u00e8tre WaitForWrites), "
         L"\u00e9tait \u00e9coul\u00e9e. Dernier fichier dont une modification a \u00e9t\u00e9 constat\u00e9e\u00a0: %1."},
        {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN),
         L"Vantrel finaliz\u00f3 el proceso de Outlook mientras Outlook a\u00fan escrib\u00eda en sus archivos de "
         L"datos: se agot\u00f3 la espera m\u00e1xima de las escrituras, %2 segundos (la configuraci\u00f3n "
         L"WaitForWrites). \u00daltimo archivo en el que se detectaron cambios: %1."},
        {MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN),
         L"Vantrel ha terminato il processo di Outlook mentre Outlook stava ancora scrivendo i propri file di dati: "
         L"l'attesa massima per le scritture, %2 secondi (l'impostazione WaitForWrites), \u00e8 scaduta. Ultimo file "
         L"in cui sono state rilevate modifiche: %1."},
        {MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN),
         L"O Vantrel encerrou o processo do Outlook enquanto o Outlook ainda gravava seus arquivos de dados: a "
         L"espera m\u00e1xima pelas grava\u00e7\u00f5es, %2 segundos (a configura\u00e7\u00e3o WaitForWrites), se "
         L"esgotou. \u00daltimo arquivo em que foram detectadas altera\u00e7\u00f5es: %1."},
        {MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN),
         L"Outlook \u304c\u307e\u3060\u30c7\u30fc\u30bf \u30d5\u30a1\u30a4\u30eb\u306b\u66f8\u304d\u8fbc\u3093\u3067"
         L"\u3044\u308b\u9593\u306b\u3001Vantrel \u306f Outlook \u306e\u30d7\u30ed\u30bb\u30b9\u3092\u7d42\u4e86\u3057"
         L"\u307e\u3057\u305f\u3002\u66f8\u304d\u8fbc\u307f\u3092\u5f85\u3064\u6700\u9577\u6642\u9593 %2 \u79d2 "
         L"(WaitForWrites \u8a2d\u5b9a) \u304c\u7d4c\u904e\u3057\u305f\u305f\u3081\u3067\u3059\u3002\u6700\u5f8c\u306b"
         L"\u5909\u66f4\u304c\u78ba\u8a8d\u3055\u308c\u305f\u30d5\u30a1\u30a4\u30eb: %1"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
         L"Vantrel \u5728 Outlook \u4ecd\u5728\u5199\u5165\u5176\u6570\u636e\u6587\u4ef6\u65f6\u7ed3\u675f\u4e86 "
         L"Outlook \u7684\u8fdb\u7a0b\uff1a\u7b49\u5f85\u5199\u5165\u7684\u6700\u957f\u65f6\u95f4 %2 \u79d2\uff08"
         L"WaitForWrites \u8bbe\u7f6e\uff09\u5df2\u7528\u5b8c\u3002\u6700\u540e\u4e00\u6b21\u53d1\u73b0\u6709\u66f4"
         L"\u6539\u7684\u6587\u4ef6\uff1a%1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "language 0x" << std::hex << c.language);
        EXPECT_EQ(RawMessage(m_events.get(), VANTREL_EVENT_WRITES_NOT_FINISHED, c.language), c.text);
    }
}

} // namespace
