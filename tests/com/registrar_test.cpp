#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win32/raii.h"
#include "com/registrar.h"
#include "win32/text_convert.h"
#include "support/registry_walk.h"
#include "support/test_support.h"

namespace {

const wchar_t kScratchPath[] = L"Software\\VantrelRegistrarTest";

std::string DescribeValue(DWORD type, const std::vector<BYTE>& data)
{
    switch (type) {
    case REG_SZ: {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return "sz \"" + ToNarrow(text, CP_UTF8) + "\"";
    }
    case REG_DWORD: {
        DWORD number = 0;
        if (data.size() == sizeof(number))
            std::memcpy(&number, data.data(), sizeof(number));
        return "dword " + std::to_string(number) + (data.size() == sizeof(number) ? "" : " (bad size)");
    }
    case REG_BINARY: {
        std::string hex = "binary ";
        for (BYTE byte : data) {
            char two[3];
            std::snprintf(two, sizeof(two), "%02x", byte);
            hex += two;
        }
        return hex;
    }
    default:
        return "type " + std::to_string(type);
    }
}

// Lines "path" and "path : name = type data" for everything below key.
void Collect(HKEY key, std::vector<std::string>* lines)
{
    WalkRegistry(
        key, "",
        [lines](const std::string& path) {
            if (!path.empty())
                lines->push_back(path);
        },
        [lines](const std::string& path, const RegistryValue& value) {
            const std::string valueName = value.name.empty() ? "(default)" : value.name;
            lines->push_back(path + " : " + valueName + " = " + DescribeValue(value.type, value.data));
        });
}

// The scratch key's content, one sorted line per key and value, or "<missing>".
std::string Snapshot()
{
    UniqueHKey scratch;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kScratchPath, 0, KEY_READ, scratch.put()) != ERROR_SUCCESS)
        return "<missing>";
    std::vector<std::string> lines;
    Collect(scratch.get(), &lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// Creates scratch\path (with its parents) and, when name is given, a string value in it.
void CreateScratchKey(const std::wstring& path, const wchar_t* name = nullptr, const wchar_t* text = L"",
                      DWORD options = REG_OPTION_NON_VOLATILE)
{
    UniqueHKey key;
    const std::wstring full = std::wstring(kScratchPath) + L"\\" + path;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    if (name != nullptr) {
        ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
}

// Lines end in LF here and become CR LF, as in the DLL's resources.
std::string Crlf(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            out += '\r';
        out += *p;
    }
    return out;
}

// Built like the DLL's class and add-in scripts, under the scratch key of HKCU.
const char kScript[] = R"(HKCU
{
	NoRemove Software
	{
		NoRemove VantrelRegistrarTest
		{
			Test.Connect.1 = s 'Connect Class'
			{
				CLSID = s '{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}'
			}
			NoRemove CLSID
			{
				ForceRemove {A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518} = s 'Connect Class'
				{
					ProgID = s 'Test.Connect.1'
					ForceRemove 'Programmable'
					InprocServer32 = s '%MODULE%'
					{
						val ThreadingModel = s 'Apartment'
					}
					val AppID = s '%APPID%'
					ForceRemove 'ToolboxBitmap32' = s '%MODULE%, 102'
				}
			}
			NoRemove Addins
			{
				NoRemove 'Test.Connect'
				{
					val FriendlyName = s 'Vantrel for Outlook'
					val LoadBehavior = d '00000003'
					val 'It''s binary' = b '0A0b'
				}
			}
		}
	}
}
)";

const char kRegistered[] =
    "Addins\n"
    "Addins\\Test.Connect\n"
    "Addins\\Test.Connect : FriendlyName = sz \"Vantrel for Outlook\"\n"
    "Addins\\Test.Connect : It's binary = binary 0a0b\n"
    "Addins\\Test.Connect : LoadBehavior = dword 3\n"
    "CLSID\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518} : (default) = sz \"Connect Class\"\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518} : AppID = sz \"{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}\"\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\InprocServer32\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\InprocServer32 : (default) = sz \"C:\\it's\\Vantrel.dll\"\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\InprocServer32 : ThreadingModel = sz \"Apartment\"\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\ProgID\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\ProgID : (default) = sz \"Test.Connect.1\"\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\Programmable\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\ToolboxBitmap32\n"
    "CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\\ToolboxBitmap32 : (default) = sz \"C:\\it's\\Vantrel.dll, 102\"\n"
    "Test.Connect.1\n"
    "Test.Connect.1 : (default) = sz \"Connect Class\"\n"
    "Test.Connect.1\\CLSID\n"
    "Test.Connect.1\\CLSID : (default) = sz \"{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\"\n";

const char kOnlyNoRemoveKeys[] =
    "Addins\n"
    "Addins\\Test.Connect\n"
    "CLSID\n";

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteScratch();
        // The module path as the DLL supplies it: single quotes doubled for the quoted text.
        m_replacements.Add("Module", DoubleSingleQuotes("C:\\it's\\Vantrel.dll"));
        m_replacements.Add("APPID", "{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}");
    }
    void TearDown() override { DeleteScratch(); }

    static void DeleteScratch() { (void)RegDeleteTreeW(HKEY_CURRENT_USER, kScratchPath); }

    HRESULT Register(const char* script) { return RegisterScript(Crlf(script), m_replacements); }
    HRESULT Unregister(const char* script) { return UnregisterScript(Crlf(script), m_replacements); }

    ReplacementMap m_replacements;
};

TEST_F(RegistrarTest, RegisterWritesTheScriptAndAgainGivesTheSame)
{
    ASSERT_EQ(Register(kScript), S_OK);
    EXPECT_EQ(Snapshot(), kRegistered);
    ASSERT_EQ(Register(kScript), S_OK);
    EXPECT_EQ(Snapshot(), kRegistered);
}

TEST_F(RegistrarTest, UnregisterLeavesExactlyTheNoRemoveKeys)
{
    ASSERT_EQ(Register(kScript), S_OK);
    ASSERT_EQ(Unregister(kScript), S_OK);
    EXPECT_EQ(Snapshot(), kOnlyNoRemoveKeys);
    // Everything already gone: missing keys and values are no failure.
    ASSERT_EQ(Unregister(kScript), S_OK);
    EXPECT_EQ(Snapshot(), kOnlyNoRemoveKeys);
    DeleteScratch();
    EXPECT_EQ(Unregister(kScript), S_OK);
    EXPECT_EQ(Snapshot(), "<missing>");
}

TEST_F(RegistrarTest, ForceRemoveDeletesWhatWasThereFirst)
{
    const std::wstring clsid = L"CLSID\\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}";
    CreateScratchKey(clsid, L"Stale", L"old");
    CreateScratchKey(clsid + L"\\Stale\\Deeper", L"x", L"y");
    CreateScratchKey(clsid + L"\\Programmable\\Left", L"x", L"y");
    // Not ForceRemove: what is below it stays.
    CreateScratchKey(L"Test.Connect.1\\Extra", L"kept", L"yes");

    ASSERT_EQ(Register(kScript), S_OK);
    EXPECT_EQ(Snapshot(), std::string(kRegistered) +
                              "Test.Connect.1\\Extra\n"
                              "Test.Connect.1\\Extra : kept = sz \"yes\"\n");
}

TEST_F(RegistrarTest, UnregisterDeletesAnUnmarkedKeyOnlyOnceItHasNoSubkeys)
{
    ASSERT_EQ(Register(kScript), S_OK);
    CreateScratchKey(L"Test.Connect.1\\Foreign");
    CreateScratchKey(L"Addins\\Test.Connect", L"Other", L"theirs");

    ASSERT_EQ(Unregister(kScript), S_OK);
    EXPECT_EQ(Snapshot(), "Addins\n"
                          "Addins\\Test.Connect\n"
                          "Addins\\Test.Connect : Other = sz \"theirs\"\n"
                          "CLSID\n"
                          "Test.Connect.1\n"
                          "Test.Connect.1 : (default) = sz \"Connect Class\"\n"
                          "Test.Connect.1\\Foreign\n");
}

TEST_F(RegistrarTest, DeleteActsAtRegistrationAndNoRemoveKeepsAValue)
{
    const char script[] = R"(HKCU
{
	NoRemove Software
	{
		NoRemove VantrelRegistrarTest
		{
			Delete Old
			NoRemove val Stay = s 'kept'
			val Go = s 'gone'
		}
	}
}
)";
    CreateScratchKey(L"Old\\Sub", L"x", L"y");
    ASSERT_EQ(Register(script), S_OK);
    EXPECT_EQ(Snapshot(), " : Go = sz \"gone\"\n"
                          " : Stay = sz \"kept\"\n");

    CreateScratchKey(L"Old");
    ASSERT_EQ(Unregister(script), S_OK);
    EXPECT_EQ(Snapshot(), " : Stay = sz \"kept\"\n"
                          "Old\n");
}

TEST_F(RegistrarTest, FailureRemovesThePartialEntriesOfItsRootBlockOnly)
{
    // A volatile key takes no lasting subkey: creating Child fails in the middle of block 2.
    const char script[] = R"(HKCU
{
	NoRemove Software
	{
		NoRemove VantrelRegistrarTest
		{
			First = s 'stays'
		}
	}
}
HKCU
{
	NoRemove Software
	{
		NoRemove VantrelRegistrarTest
		{
			Second = s 'goes'
			{
				Inner
				{
					val Deep = d '7'
				}
			}
			NoRemove Kept
			{
				val Written = s 'goes'
			}
			NoRemove Volatile
			{
				Child
			}
			Third
		}
	}
}
HKCU
{
	NoRemove Software
	{
		NoRemove VantrelRegistrarTest
		{
			Fourth
		}
	}
}
)";
    CreateScratchKey(L"Kept", L"Theirs", L"stays");
    CreateScratchKey(L"Volatile", nullptr, L"", REG_OPTION_VOLATILE);

    EXPECT_EQ(Register(script), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
    EXPECT_EQ(Snapshot(), "First\n"
                          "First : (default) = sz \"stays\"\n"
                          "Kept\n"
                          "Kept : Theirs = sz \"stays\"\n"
                          "Volatile\n");
}

// Denies everyone every access to scratch\path for its lifetime; the key's owner may still
// change its access list, which is how the lock is lifted again.
class LockedScratchKey {
public:
    explicit LockedScratchKey(const std::wstring& path) : m_path(std::wstring(kScratchPath) + L"\\" + path)
    {
        CreateScratchKey(path);
        m_locked = SetAccess(L"D:P(D;;KA;;;WD)");
    }
    ~LockedScratchKey() { (void)SetAccess(L"D:(A;;KA;;;WD)"); }
    bool locked() const { return m_locked; }

private:
    bool SetAccess(const wchar_t* sddl)
    {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, WRITE_DAC, key.put()) != ERROR_SUCCESS)
            return false;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
            return false;
        const LONG error = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
        return error == ERROR_SUCCESS;
    }

    std::wstring m_path;
    bool m_locked = false;
};

// Only a missing key is passed over at unregistration: one that cannot be opened (access
// denied) is the result, and nothing after it is removed.
TEST_F(RegistrarTest, UnregisterReportsAKeyItCannotOpen)
{
    const char script[] = R"(HKCU
{
	NoRemove Software
	{
		NoRemove VantrelRegistrarTest
		{
			Missing
			{
				val Gone = s 'x'
			}
			Locked
			{
				val Inside = s 'x'
			}
			After = s 'y'
		}
	}
}
)";
    ASSERT_EQ(Register(script), S_OK);
    const std::wstring missing = std::wstring(kScratchPath) + L"\\Missing";
    (void)RegDeleteTreeW(HKEY_CURRENT_USER, missing.c_str());
    (void)RegDeleteKeyW(HKEY_CURRENT_USER, missing.c_str());
    LockedScratchKey locked(L"Locked");
    ASSERT_TRUE(locked.locked());
    UniqueHKey probe;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kScratchPath) + L"\\Locked").c_str(), 0, KEY_READ,
                            probe.put()),
              ERROR_ACCESS_DENIED)
        << "this registry does not enforce a key's access list";

    EXPECT_EQ(Unregister(script), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_NE(Snapshot().find("After : (default) = sz \"y\""), std::string::npos) << Snapshot();
}

// Stands a per-user classes key in front of HKEY_CLASSES_ROOT for its lifetime, as Windows'
// merged view does for keys that exist in the user's classes: writes through HKEY_CLASSES_ROOT
// then land in the user's copy. (Wine maps HKEY_CLASSES_ROOT straight to the machine's classes.)
class UserClassesInFront {
public:
    UserClassesInFront()
    {
        CreateScratchKey(L"UserClasses");
        const std::wstring path = std::wstring(kScratchPath) + L"\\UserClasses";
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, m_key.put()) == ERROR_SUCCESS)
            m_active = RegOverridePredefKey(HKEY_CLASSES_ROOT, m_key.get()) == ERROR_SUCCESS;
    }
    ~UserClassesInFront()
    {
        if (m_active)
            (void)RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    bool active() const { return m_active; }

private:
    UniqueHKey m_key;
    bool m_active = false;
};

const wchar_t kMachineProgId[] = L"Software\\Classes\\VantrelRegistrarTest.Shadowed";
const wchar_t kMachineClsid[] = L"Software\\Classes\\CLSID\\{5D0C7A11-8B34-4E6F-9A21-C3B4D5E6F708}";

// What the machine's classes hold of the shadow script, sorted lines.
std::string MachineClasses()
{
    std::string text;
    for (const wchar_t* path : {kMachineProgId, kMachineClsid}) {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            continue;
        std::vector<std::string> lines;
        Collect(key.get(), &lines);
        std::sort(lines.begin(), lines.end());
        text += ToNarrow(path, CP_UTF8) + "\n";
        for (const std::string& line : lines)
            text += "  " + line + "\n";
    }
    return text;
}

void DeleteMachineClasses()
{
    for (const wchar_t* path : {kMachineProgId, kMachineClsid}) {
        (void)RegDeleteTreeW(HKEY_LOCAL_MACHINE, path);
        (void)RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
    }
}

// Registration is machine-wide: the HKCR blocks of a script go to HKLM\Software\Classes, and
// come out of it again, even where the user's classes hold the same keys.
TEST_F(RegistrarTest, ClassesRootBlocksGoToTheMachineClasses)
{
    const char script[] = R"(HKCR
{
	VantrelRegistrarTest.Shadowed = s 'Machine Class'
	NoRemove CLSID
	{
		ForceRemove {5D0C7A11-8B34-4E6F-9A21-C3B4D5E6F708} = s 'Machine Class'
		{
			InprocServer32 = s '%MODULE%'
		}
	}
}
)";
    DeleteMachineClasses();
    CreateScratchKey(L"UserClasses\\VantrelRegistrarTest.Shadowed", L"", L"User Class");
    CreateScratchKey(L"UserClasses\\CLSID\\{5D0C7A11-8B34-4E6F-9A21-C3B4D5E6F708}", L"", L"User Class");
    const std::string userCopy = Snapshot();
    {
        UserClassesInFront merged;
        ASSERT_TRUE(merged.active());
        EXPECT_EQ(Register(script), S_OK);
    }
    EXPECT_EQ(Snapshot(), userCopy) << "the user's classes are not touched";
    EXPECT_EQ(MachineClasses(),
              "Software\\Classes\\VantrelRegistrarTest.Shadowed\n"
              "   : (default) = sz \"Machine Class\"\n"
              "Software\\Classes\\CLSID\\{5D0C7A11-8B34-4E6F-9A21-C3B4D5E6F708}\n"
              "   : (default) = sz \"Machine Class\"\n"
              "  InprocServer32\n"
              "  InprocServer32 : (default) = sz \"C:\\it's\\Vantrel.dll\"\n");
    {
        UserClassesInFront merged;
        ASSERT_TRUE(merged.active());
        EXPECT_EQ(Unregister(script), S_OK);
    }
    EXPECT_EQ(Snapshot(), userCopy);
    EXPECT_EQ(MachineClasses(), "");
    DeleteMachineClasses();
}

TEST_F(RegistrarTest, MalformedScriptWritesNothing)
{
    const char* const scripts[] = {
        "HKCU { NoRemove Software { NoRemove VantrelRegistrarTest { A } } }\n"
        "HKCU { NoRemove Software { NoRemove VantrelRegistrarTest { B = s 'x } } }\n",
        "HKCU { NoRemove Software { NoRemove VantrelRegistrarTest { A = s '%UNKNOWN%' } } }\n",
    };
    for (const char* script : scripts) {
        EXPECT_EQ(Register(script), DISP_E_EXCEPTION) << script;
        EXPECT_EQ(Unregister(script), DISP_E_EXCEPTION) << script;
        EXPECT_EQ(Snapshot(), "<missing>") << script;
    }
}

// A copy of this test program with a REGISTRY resource added, loaded as a data file.
class ScriptResourceModule {
public:
    ScriptResourceModule(UINT id, const std::string& script)
    {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        const std::string path = m_dir.file("with_script.exe");
        if (!CopyFileA(self, path.c_str(), FALSE))
            return;
        HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
        if (update == nullptr)
            return;
        const BOOL added = UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(id),
                                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                           const_cast<char*>(script.data()), static_cast<DWORD>(script.size()));
        if (!EndUpdateResourceA(update, !added) || !added)
            return;
        m_module.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    }
    HMODULE get() const { return m_module.get(); }

private:
    ScopedTempDir m_dir; // declared first: deleted after the module is freed
    UniqueModule m_module;
};

TEST_F(RegistrarTest, RunsAScriptFromARegistryResource)
{
    const std::string script = Crlf(kScript);
    ScriptResourceModule module(7, script);
    ASSERT_NE(module.get(), nullptr);

    std::string loaded;
    ASSERT_EQ(LoadScriptResource(module.get(), 7, &loaded), S_OK);
    EXPECT_EQ(loaded, script);
    EXPECT_TRUE(FAILED(LoadScriptResource(module.get(), 8, &loaded)));
    EXPECT_TRUE(loaded.empty());

    ASSERT_EQ(RunScriptResource(module.get(), 7, RegistrarAction::Register, m_replacements), S_OK);
    EXPECT_EQ(Snapshot(), kRegistered);
    ASSERT_EQ(RunScriptResource(module.get(), 7, RegistrarAction::Unregister, m_replacements), S_OK);
    EXPECT_EQ(Snapshot(), kOnlyNoRemoveKeys);
    EXPECT_TRUE(FAILED(RunScriptResource(module.get(), 8, RegistrarAction::Register, m_replacements)));
}

} // namespace
