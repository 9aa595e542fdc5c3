// What the COM server's tests share: the DLL under test loaded in this process or registered
// by the real regsvr32, and a readable snapshot of every registry entry that registration makes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Text forms of the server's identities, as the registry shows them. All but the AppID come
// from the GUID constants that widl generates from Vantrel.idl, so the registration tests
// also see that the class scripts name the classes and library the IDL declares.
extern const char kAppIdText[];
extern const std::string kLibIdText;
extern const std::string kConnectClsidText;
extern const std::string kPageClsidText;
extern const std::string kIConnectText;
extern const std::string kIPageText;

// build/bin/Vantrel.dll, beside this test program.
std::string ServerDllPath();

// Runs "regsvr32.exe <arguments>" and waits for it; its exit code, or ~0u when it could not be
// started or did not end within a minute. The narrow form takes text in the ANSI code page.
DWORD RunRegsvr32(const std::wstring& arguments);
DWORD RunRegsvr32(const std::string& arguments);

// The registry view an Outlook of this build's bitness reads its classes and add-ins from, where
// registration and the package of this build must write them: the 64-bit view for x64, the
// 32-bit one (WOW6432Node on 64-bit Windows) for x86.
REGSAM RegistrationView();

// Every key and value below the keys that registration writes (machine-wide; HKCR is shown for
// HKLM\Software\Classes) in that view, one line per key ("HKCR\CLSID\{...}") and per value
// ("HKCR\CLSID\{...} : AppID = sz \"...\""), sorted. Keys that do not exist give no line.
std::vector<std::string> RegistrationSnapshot(REGSAM view = RegistrationView());

// Success when RegistrationSnapshot() equals expected (sorted); otherwise lists the lines that
// are missing and those that should not be there.
::testing::AssertionResult RegistryHolds(const std::vector<std::string>& expected);

// Deletes all those keys, whatever they hold.
void DeleteRegistration();

// A subkey with a subkey of its own and a value in both classes' CLSID keys, as an earlier
// registration may have left them: registration must delete them with the ForceRemove keys.
void AddStaleClassEntries();

// A registry entry as RegistrationSnapshot() shows it.
std::string KeyLine(const std::string& key);
std::string StringLine(const std::string& key, const std::string& name, const std::string& data);
std::string DwordLine(const std::string& key, const std::string& name, DWORD data);

// Sorted snapshot lines of what each script and the type library write for a DLL at dllPath.
std::vector<std::string> ModuleScriptEntries(const std::string& dllPath);
std::vector<std::string> PageScriptEntries(const std::string& dllPath);
std::vector<std::string> ConnectScriptEntries(const std::string& dllPath);
std::vector<std::string> TypeLibraryEntries(const std::string& dllPath);
// All of them: the registry after a complete registration.
std::vector<std::string> FullRegistration(const std::string& dllPath);
// What unregistration leaves: the add-in key, empty.
std::vector<std::string> KeptAfterUnregistration();

// Vantrel.dll loaded into this process for as long as the object lives.
class LoadedServer {
public:
    explicit LoadedServer(const std::string& path = ServerDllPath());
    ~LoadedServer();
    LoadedServer(const LoadedServer&) = delete;
    LoadedServer& operator=(const LoadedServer&) = delete;

    HMODULE module() const { return m_module; }
    FARPROC Export(const char* name) const;
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    // Frees the DLL now (the destructor then does nothing).
    void Unload();

private:
    HMODULE m_module;
};
