#include "com/registrar.h"

#include "com/com_error.h"
#include "win32/raii.h"
#include "win32/text_convert.h"

namespace {

enum class UnregisterMode {
    StopAtFailure, // an unregistration the caller asked for
    IgnoreFailures // undoing a failed root block: remove what can be removed
};

// The machine's classes, where a block written for HKEY_CLASSES_ROOT goes (see OpenRootKey).
const wchar_t kMachineClasses[] = L"Software\\Classes";

HKEY RootHandle(ScriptRoot root)
{
    switch (root) {
    case ScriptRoot::ClassesRoot: return HKEY_CLASSES_ROOT; // not written through: see OpenRootKey
    case ScriptRoot::CurrentUser: return HKEY_CURRENT_USER;
    case ScriptRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case ScriptRoot::Users: return HKEY_USERS;
    case ScriptRoot::PerformanceData: return HKEY_PERFORMANCE_DATA;
    case ScriptRoot::DynData: return HKEY_DYN_DATA;
    case ScriptRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CLASSES_ROOT;
}

// The parser has checked that the text is UTF-8. Throws std::bad_alloc.
std::wstring Wide(const std::string& text)
{
    return ToWide(text, CP_UTF8);
}

bool IsMissing(LONG error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens a key for reading and writing, or for reading only where writing is refused: an
// existing shared key (HKLM\Software) may still lead to keys we may write. Never throws.
LONG OpenKey(HKEY parent, const std::wstring& name, UniqueHKey* key)
{
    LONG error = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key->put());
    if (error == ERROR_ACCESS_DENIED)
        error = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key->put());
    return error;
}

// Creates the key or opens it when it exists; read-only where writing is refused. Never throws.
LONG CreateKey(HKEY parent, const std::wstring& name, UniqueHKey* key)
{
    LONG error = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                 nullptr, key->put(), nullptr);
    if (error == ERROR_ACCESS_DENIED && OpenKey(parent, name, key) == ERROR_SUCCESS)
        error = ERROR_SUCCESS;
    return error;
}

// The key a root block works under, in *key (owned by *owner where it had to be opened).
// Registration is machine-wide, so a block written for HKEY_CLASSES_ROOT goes to
// HKLM\Software\Classes: on Windows HKEY_CLASSES_ROOT is a merged view in which a write
// reaches the user's HKCU\Software\Classes wherever the user's classes already hold the key,
// which would leave the machine's entry missing or stale behind the user's. Never throws.
LONG OpenRootKey(ScriptRoot root, UniqueHKey* owner, HKEY* key)
{
    if (root != ScriptRoot::ClassesRoot) {
        *key = RootHandle(root);
        return ERROR_SUCCESS;
    }
    const LONG error = OpenKey(HKEY_LOCAL_MACHINE, kMachineClasses, owner);
    *key = owner->get();
    return error;
}

// Deletes the key with everything below it; a missing key is no failure. Never throws.
LONG DeleteKeyTree(HKEY parent, const std::wstring& name)
{
    const LONG error = RegDeleteTreeW(parent, name.c_str());
    return IsMissing(error) ? ERROR_SUCCESS : error;
}

// name null: the key's default value. Throws std::bad_alloc.
LONG SetValue(HKEY key, const wchar_t* name, const ScriptValueData& data)
{
    switch (data.type) {
    case ScriptValueType::String: {
        const std::wstring text = Wide(data.text);
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    case ScriptValueType::Dword: {
        const DWORD number = data.number;
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    }
    case ScriptValueType::Binary:
        return RegSetValueExW(key, name, 0, REG_BINARY, data.bytes.empty() ? nullptr : data.bytes.data(),
                              static_cast<DWORD>(data.bytes.size()));
    }
    return ERROR_INVALID_PARAMETER;
}

// Writes the entries below parent in script order, up to the first failure. Throws std::bad_alloc.
HRESULT RegisterEntries(HKEY parent, const std::vector<ScriptNode>& entries)
{
    for (const ScriptNode& node : entries) {
        const std::wstring name = Wide(node.name);
        if (node.isValue) {
            const LONG error = SetValue(parent, name.c_str(), node.data);
            if (error != ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(error);
            continue;
        }
        if (node.mark == ScriptMark::Delete || node.mark == ScriptMark::ForceRemove) {
            const LONG error = DeleteKeyTree(parent, name);
            if (error != ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(error);
            if (node.mark == ScriptMark::Delete)
                continue;
        }
        UniqueHKey key;
        LONG error = CreateKey(parent, name, &key);
        if (error == ERROR_SUCCESS && node.hasData)
            error = SetValue(key.get(), nullptr, node.data);
        if (error != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(error);
        const HRESULT hr = RegisterEntries(key.get(), node.children);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT UnregisterEntries(HKEY parent, const std::vector<ScriptNode>& entries, UnregisterMode mode);

// Removes one key's entries that their marks let go and then the key itself, unless its mark
// keeps it or a subkey is left. S_OK for a key that is gone. Throws std::bad_alloc.
HRESULT UnregisterKey(HKEY parent, const ScriptNode& node, const std::wstring& name, UnregisterMode mode)
{
    UniqueHKey key;
    const LONG openError = OpenKey(parent, name, &key);
    if (IsMissing(openError))
        return S_OK; // passed over with everything below it
    // Not a key that is gone (access denied, say): its entries may all still be there.
    if (openError != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(openError);
    HRESULT result = UnregisterEntries(key.get(), node.children, mode);
    if ((FAILED(result) && mode == UnregisterMode::StopAtFailure) || node.mark == ScriptMark::NoRemove)
        return result;
    DWORD subkeys = 0;
    LONG error = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
    key.reset();
    if (error == ERROR_SUCCESS && subkeys == 0)
        error = RegDeleteKeyW(parent, name.c_str());
    if (error != ERROR_SUCCESS && !IsMissing(error) && SUCCEEDED(result))
        result = HRESULT_FROM_WIN32(error);
    return result;
}

// Removes the entries below parent that their marks let go, children before their key; keeps
// the first failure, and in StopAtFailure mode returns at it. Throws std::bad_alloc.
HRESULT UnregisterEntries(HKEY parent, const std::vector<ScriptNode>& entries, UnregisterMode mode)
{
    HRESULT result = S_OK;
    for (const ScriptNode& node : entries) {
        if (node.mark == ScriptMark::NoRemove && node.isValue)
            continue;
        if (node.mark == ScriptMark::Delete)
            continue; // its work was done at registration
        const std::wstring name = Wide(node.name);
        HRESULT hr = S_OK;
        if (node.isValue) {
            const LONG error = RegDeleteValueW(parent, name.c_str());
            if (error != ERROR_SUCCESS && !IsMissing(error))
                hr = HRESULT_FROM_WIN32(error);
        } else {
            hr = UnregisterKey(parent, node, name, mode);
        }
        if (FAILED(hr)) {
            if (SUCCEEDED(result))
                result = hr;
            if (mode == UnregisterMode::StopAtFailure)
                return result;
        }
    }
    return result;
}

// Registers one root block and, when that fails, removes what it wrote. Never throws.
HRESULT RegisterRootBlock(const ScriptRootBlock& block) noexcept
{
    UniqueHKey owner;
    HKEY root = nullptr;
    const LONG error = OpenRootKey(block.root, &owner, &root);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    HRESULT hr;
    try {
        hr = RegisterEntries(root, block.entries);
    } catch (...) {
        hr = CaughtExceptionResult();
    }
    if (FAILED(hr)) {
        try {
            (void)UnregisterEntries(root, block.entries, UnregisterMode::IgnoreFailures);
        } catch (...) {
            // Out of memory while undoing: what stays written stays; the first failure is the one to report.
        }
    }
    return hr;
}

// Unregisters one root block; a root key that is not there holds nothing to remove. Throws
// std::bad_alloc.
HRESULT UnregisterRootBlock(const ScriptRootBlock& block)
{
    UniqueHKey owner;
    HKEY root = nullptr;
    const LONG error = OpenRootKey(block.root, &owner, &root);
    if (IsMissing(error))
        return S_OK;
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);
    return UnregisterEntries(root, block.entries, UnregisterMode::StopAtFailure);
}

HRESULT RunScript(std::string_view script, const ReplacementMap& replacements, RegistrarAction action) noexcept
{
    try {
        RegistryScript tree;
        const ScriptError error = ParseRegistryScript(script, replacements, &tree);
        if (error.status != ScriptStatus::Ok)
            return HResultFromScriptStatus(error.status);
        for (const ScriptRootBlock& block : tree) {
            const HRESULT hr =
                action == RegistrarAction::Register ? RegisterRootBlock(block) : UnregisterRootBlock(block);
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }
    CATCH_RETURN()
}

} // namespace

HRESULT RegisterScript(std::string_view script, const ReplacementMap& replacements) noexcept
{
    return RunScript(script, replacements, RegistrarAction::Register);
}

HRESULT UnregisterScript(std::string_view script, const ReplacementMap& replacements) noexcept
{
    return RunScript(script, replacements, RegistrarAction::Unregister);
}

HRESULT LoadScriptResource(HMODULE module, UINT id, std::string* script) noexcept
{
    if (script == nullptr)
        return E_POINTER;
    script->clear();
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (info == nullptr)
        return LastErrorOr(ERROR_RESOURCE_NAME_NOT_FOUND);
    HGLOBAL loaded = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
    try {
        script->assign(static_cast<const char*>(data), size);
    }
    CATCH_RETURN()
    return S_OK;
}

HRESULT RunScriptResource(HMODULE module, UINT id, RegistrarAction action, const ReplacementMap& replacements) noexcept
{
    std::string script;
    const HRESULT hr = LoadScriptResource(module, id, &script);
    if (FAILED(hr))
        return hr;
    return RunScript(script, replacements, action);
}

HRESULT HResultFromScriptStatus(ScriptStatus status) noexcept
{
    return status == ScriptStatus::Ok ? S_OK : DISP_E_EXCEPTION;
}
