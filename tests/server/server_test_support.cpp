#include "server/server_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "win32/raii.h"
#include "com/server_registration.h"
#include "win32/text_convert.h"
#include "support/registry_walk.h"
#include "support/test_support.h"
#include "Vantrel_h.h"

const char kAppIdText[] = "{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}";
const std::string kLibIdText = GuidText(LIBID_VantrelLib);
const std::string kConnectClsidText = GuidText(CLSID_Connect);
const std::string kPageClsidText = GuidText(CLSID_AddinPropertyPage);
const std::string kIConnectText = GuidText(IID_IConnect);
const std::string kIPageText = GuidText(IID_IAddinPropertyPage);

namespace {

const char kClasses[] = "Software\\Classes\\";
const char kAddinKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Vantrel.Connect";
const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vantrel";

// The texts of a type library's FLAGS and HELPDIR keys are RegisterTypeLib's own choice (Wine
// writes the loader's disk-image flag and the library's folder): only their presence is ours.
const char kSetByRegisterTypeLib[] = "(set by RegisterTypeLib)";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The keys registration writes, below HKEY_LOCAL_MACHINE.
std::vector<std::string> RegistrationKeys()
{
    const std::string classes = kClasses;
    return {
        classes + "AppID\\" + kAppIdText,
        classes + "AppID\\Vantrel.DLL",
        classes + "Vantrel.AddinPropertyPage.1",
        classes + "Vantrel.AddinPropertyPage",
        classes + "CLSID\\" + kPageClsidText,
        classes + "Vantrel.Connect.1",
        classes + "Vantrel.Connect",
        classes + "CLSID\\" + kConnectClsidText,
        classes + "TypeLib\\" + kLibIdText,
        classes + "Interface\\" + kIPageText,
        classes + "Interface\\" + kIConnectText,
        kAddinKey,
        kEventSourceKey,
    };
}


// "HKCR\..." for the classes key, "HKLM\..." for the rest.
std::string Label(const std::string& path)
{
    if (path.compare(0, std::strlen(kClasses), kClasses) == 0)
        return "HKCR\\" + path.substr(std::strlen(kClasses));
    return "HKLM\\" + path;
}

std::string ValueLine(const std::string& key, const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    switch (type) {
    case REG_SZ: {
        if (name.empty() && (EndsWith(key, "\\1.0\\FLAGS") || EndsWith(key, "\\1.0\\HELPDIR")))
            return StringLine(key, name, kSetByRegisterTypeLib);
        std::size_t length = data.size() / sizeof(wchar_t);
        const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
        while (length > 0 && text[length - 1] == L'\0')
            --length;
        return StringLine(key, name, ToNarrow(std::wstring_view(text, length), CP_UTF8));
    }
    case REG_DWORD: {
        DWORD number = 0;
        if (data.size() != sizeof(number))
            return key + " : " + name + " = dword of " + std::to_string(data.size()) + " bytes";
        std::memcpy(&number, data.data(), sizeof(number));
        return DwordLine(key, name, number);
    }
    default:
        return key + " : " + name + " = type " + std::to_string(type);
    }
}

void Collect(HKEY key, const std::string& label, std::vector<std::string>* lines)
{
    WalkRegistry(
        key, label, [lines](const std::string& path) { lines->push_back(KeyLine(path)); },
        [lines](const std::string& path, const RegistryValue& value) {
            lines->push_back(ValueLine(path, value.name, value.type, value.data));
        });
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

std::string ServerDllPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "Vantrel.dll";
}

DWORD RunRegsvr32(const std::string& arguments)
{
    return RunAndWait("regsvr32.exe " + arguments, 60000);
}

DWORD RunRegsvr32(const std::wstring& arguments)
{
    return RunAndWait(L"regsvr32.exe " + arguments, 60000);
}

void AddStaleClassEntries()
{
    for (const std::string* clsid : {&kConnectClsidText, &kPageClsidText}) {
        const std::string key = std::string("Software\\Classes\\CLSID\\") + *clsid;
        UniqueHKey stale;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (key + "\\Stale\\Deeper").c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, stale.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Stale", REG_SZ, "x", 2), ERROR_SUCCESS);
    }
}

REGSAM RegistrationView()
{
    return sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::vector<std::string> RegistrationSnapshot(REGSAM view)
{
    std::vector<std::string> lines;
    for (const std::string& path : RegistrationKeys()) {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(path, CP_UTF8).c_str(), 0, KEY_READ | view, key.put()) ==
            ERROR_SUCCESS)
            Collect(key.get(), Label(path), &lines);
    }
    return Sorted(lines);
}

::testing::AssertionResult RegistryHolds(const std::vector<std::string>& expected)
{
    const std::vector<std::string> actual = RegistrationSnapshot();
    std::vector<std::string> missing, unexpected;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                        std::back_inserter(unexpected));
    if (missing.empty() && unexpected.empty())
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    for (const std::string& line : missing)
        failure << "\n  missing:    " << line;
    for (const std::string& line : unexpected)
        failure << "\n  unexpected: " << line;
    return failure;
}

void DeleteRegistration()
{
    for (const std::string& path : RegistrationKeys()) {
        const LONG error = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ToWide(path, CP_UTF8).c_str());
        if (error == ERROR_SUCCESS)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, ToWide(path, CP_UTF8).c_str());
    }
}

std::string KeyLine(const std::string& key)
{
    return key;
}

std::string StringLine(const std::string& key, const std::string& name, const std::string& data)
{
    return key + " : " + (name.empty() ? "(default)" : name) + " = sz \"" + data + "\"";
}

std::string DwordLine(const std::string& key, const std::string& name, DWORD data)
{
    return key + " : " + (name.empty() ? "(default)" : name) + " = dword " + std::to_string(data);
}

std::vector<std::string> ModuleScriptEntries(const std::string& dllPath)
{
    const std::string source = Label(kEventSourceKey);
    const std::string appId = std::string("HKCR\\AppID\\") + kAppIdText;
    const std::string dll = "HKCR\\AppID\\Vantrel.DLL";
    const std::string addin = Label(kAddinKey);
    return Sorted({
        KeyLine(appId),
        StringLine(appId, "", "Vantrel"),
        KeyLine(dll),
        StringLine(dll, "AppID", kAppIdText),
        KeyLine(addin),
        StringLine(addin, "FriendlyName", "Vantrel for Outlook"),
        StringLine(addin, "Description", "Vantrel for Outlook"),
        DwordLine(addin, "LoadBehavior", 3),
        DwordLine(addin, "CommandLineSafe", 0),
        // The Event Log's source: its messages are in VantrelEvents.dll beside the DLL, of all
        // three types.
        KeyLine(source),
        StringLine(source, "EventMessageFile", dllPath.substr(0, dllPath.find_last_of('\\') + 1) + "VantrelEvents.dll"),
        DwordLine(source, "TypesSupported", 7),
    });
}

namespace {

// The ProgIDs and CLSID key entries that both class scripts write.
std::vector<std::string> ClassEntries(const std::string& progId, const std::string& clsid,
                                      const std::string& description, const std::string& dllPath)
{
    const std::string versioned = "HKCR\\" + progId + ".1";
    const std::string independent = "HKCR\\" + progId;
    const std::string key = "HKCR\\CLSID\\" + clsid;
    return {
        KeyLine(versioned),
        StringLine(versioned, "", description),
        KeyLine(versioned + "\\CLSID"),
        StringLine(versioned + "\\CLSID", "", clsid),
        KeyLine(independent),
        StringLine(independent, "", description),
        KeyLine(independent + "\\CLSID"),
        StringLine(independent + "\\CLSID", "", clsid),
        KeyLine(independent + "\\CurVer"),
        StringLine(independent + "\\CurVer", "", progId + ".1"),
        KeyLine(key),
        StringLine(key, "", description),
        StringLine(key, "AppID", kAppIdText),
        KeyLine(key + "\\ProgID"),
        StringLine(key + "\\ProgID", "", progId + ".1"),
        KeyLine(key + "\\VersionIndependentProgID"),
        StringLine(key + "\\VersionIndependentProgID", "", progId),
        KeyLine(key + "\\Programmable"),
        KeyLine(key + "\\InprocServer32"),
        StringLine(key + "\\InprocServer32", "", dllPath),
        StringLine(key + "\\InprocServer32", "ThreadingModel", "Apartment"),
        KeyLine(key + "\\TypeLib"),
        StringLine(key + "\\TypeLib", "", kLibIdText),
    };
}

} // namespace

std::vector<std::string> PageScriptEntries(const std::string& dllPath)
{
    std::vector<std::string> lines =
        ClassEntries("Vantrel.AddinPropertyPage", kPageClsidText, "AddinPropertyPage Class", dllPath);
    const std::string key = std::string("HKCR\\CLSID\\") + kPageClsidText;
    const std::vector<std::string> controlEntries = {
        KeyLine(key + "\\Control"),
        KeyLine(key + "\\ToolboxBitmap32"),
        StringLine(key + "\\ToolboxBitmap32", "", dllPath + ", 102"),
        KeyLine(key + "\\MiscStatus"),
        StringLine(key + "\\MiscStatus", "", "0"),
        KeyLine(key + "\\MiscStatus\\1"),
        StringLine(key + "\\MiscStatus\\1", "", "131473"),
        KeyLine(key + "\\Version"),
        StringLine(key + "\\Version", "", "1.0"),
    };
    lines.insert(lines.end(), controlEntries.begin(), controlEntries.end());
    return Sorted(lines);
}

std::vector<std::string> ConnectScriptEntries(const std::string& dllPath)
{
    return Sorted(ClassEntries("Vantrel.Connect", kConnectClsidText, "Connect Class", dllPath));
}

std::vector<std::string> TypeLibraryEntries(const std::string& dllPath)
{
    const std::string version = std::string("HKCR\\TypeLib\\") + kLibIdText + "\\1.0";
    // The library's path sits under the key of its system kind: the DLL's bitness.
    const std::string path = version + (sizeof(void*) == 8 ? "\\0\\win64" : "\\0\\win32");
    std::vector<std::string> lines = {
        KeyLine(std::string("HKCR\\TypeLib\\") + kLibIdText),
        KeyLine(version),
        StringLine(version, "", "Vantrel 1.0 Type Library"),
        KeyLine(version + "\\0"),
        KeyLine(path),
        StringLine(path, "", dllPath),
        KeyLine(version + "\\FLAGS"),
        StringLine(version + "\\FLAGS", "", kSetByRegisterTypeLib),
        KeyLine(version + "\\HELPDIR"),
        StringLine(version + "\\HELPDIR", "", kSetByRegisterTypeLib),
    };
    // Both dual interfaces go to the automation marshaler.
    const struct {
        const std::string& iid;
        const char* name;
    } interfaces[] = {{kIPageText, "IAddinPropertyPage"}, {kIConnectText, "IConnect"}};
    for (const auto& entry : interfaces) {
        const std::string key = "HKCR\\Interface\\" + entry.iid;
        const char* const marshaler = "{00020424-0000-0000-C000-000000000046}";
        const std::vector<std::string> interfaceLines = {
            KeyLine(key),
            StringLine(key, "", entry.name),
            KeyLine(key + "\\ProxyStubClsid"),
            StringLine(key + "\\ProxyStubClsid", "", marshaler),
            KeyLine(key + "\\ProxyStubClsid32"),
            StringLine(key + "\\ProxyStubClsid32", "", marshaler),
            KeyLine(key + "\\TypeLib"),
            StringLine(key + "\\TypeLib", "", kLibIdText),
            StringLine(key + "\\TypeLib", "Version", "1.0"),
        };
        lines.insert(lines.end(), interfaceLines.begin(), interfaceLines.end());
    }
    return Sorted(lines);
}

std::vector<std::string> FullRegistration(const std::string& dllPath)
{
    std::vector<std::string> lines = ModuleScriptEntries(dllPath);
    for (const auto& part : {PageScriptEntries(dllPath), ConnectScriptEntries(dllPath), TypeLibraryEntries(dllPath)})
        lines.insert(lines.end(), part.begin(), part.end());
    return Sorted(lines);
}

std::vector<std::string> KeptAfterUnregistration()
{
    return {KeyLine(Label(kAddinKey))};
}

LoadedServer::LoadedServer(const std::string& path) : m_module(LoadLibraryA(path.c_str()))
{
    EXPECT_NE(m_module, nullptr) << path << ": error " << GetLastError();
}

LoadedServer::~LoadedServer()
{
    Unload();
}

void LoadedServer::Unload()
{
    if (m_module)
        FreeLibrary(m_module);
    m_module = nullptr;
}

FARPROC LoadedServer::Export(const char* name) const
{
    return m_module ? GetProcAddress(m_module, name) : nullptr;
}

namespace {

template <typename Function>
Function Typed(FARPROC address)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

} // namespace

HRESULT LoadedServer::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const
{
    auto function = Typed<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(Export("DllGetClassObject"));
    return function ? function(clsid, riid, ppv) : E_NOTIMPL;
}

HRESULT LoadedServer::CanUnloadNow() const
{
    auto function = Typed<HRESULT(STDAPICALLTYPE*)()>(Export("DllCanUnloadNow"));
    return function ? function() : E_NOTIMPL;
}

HRESULT LoadedServer::RegisterServer() const
{
    auto function = Typed<HRESULT(STDAPICALLTYPE*)()>(Export("DllRegisterServer"));
    return function ? function() : E_NOTIMPL;
}

HRESULT LoadedServer::UnregisterServer() const
{
    auto function = Typed<HRESULT(STDAPICALLTYPE*)()>(Export("DllUnregisterServer"));
    return function ? function() : E_NOTIMPL;
}
