#include "log/profile_path.h"

#include <atomic>

#include "com/raii.h"

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
// CreateDirectoryW takes MAX_PATH - 12 characters: room for an 8.3 name inside the folder.
constexpr std::size_t kShortPathLimit = MAX_PATH - 12;

bool IsDriveLetter(wchar_t c) noexcept
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool IsSeparator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
}

std::atomic<KnownFolderQuery> g_query{nullptr};

} // namespace

void UseKnownFolderQuery(KnownFolderQuery query) noexcept
{
    g_query.store(query);
}

std::wstring RoamingFolder()
{
    return KnownFolder(FOLDERID_RoamingAppData);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    const KnownFolderQuery query = g_query.load();
    PWSTR raw = nullptr;
    const HRESULT hr = (query ? query : SHGetKnownFolderPath)(id, 0, nullptr, &raw);
    const UniqueCoTaskMem owner(raw); // freed even when the query failed and left something
    if (FAILED(hr) || !raw)
        return std::wstring();
    std::wstring folder(raw);
    return IsFullPath(folder) ? folder : std::wstring();
}

bool IsFullPath(std::wstring_view path) noexcept
{
    if (path.substr(0, kLongUncPrefix.size()) == kLongUncPrefix)
        return path.size() > kLongUncPrefix.size() && !IsSeparator(path[kLongUncPrefix.size()]);
    if (path.substr(0, kLongPrefix.size()) == kLongPrefix)
        path.remove_prefix(kLongPrefix.size());
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]))
        return true;
    // A share: two separators, then a server name that is neither empty nor another separator.
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]) &&
           path[2] != L'?' && path[2] != L'.';
}

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name)
{
    if (!IsFullPath(folder) || name.empty() || name == L"." || name == L".." ||
        name.find_first_of(L"\\/:") != std::wstring_view::npos)
        return std::wstring();
    std::wstring joined(folder);
    if (!IsSeparator(joined.back()))
        joined += L'\\';
    joined += name;
    return joined;
}

std::wstring LongPathForm(const std::wstring& path)
{
    if (path.size() < kShortPathLimit || path.compare(0, kLongPrefix.size(), kLongPrefix) == 0)
        return path;
    const bool share = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    std::wstring longForm(share ? kLongUncPrefix : kLongPrefix);
    longForm += share ? path.substr(2) : path;
    for (wchar_t& c : longForm)
        if (c == L'/')
            c = L'\\'; // the long form is taken as it is written, without the usual clean-up
    return longForm;
}

std::wstring ParentFolder(const std::wstring& path)
{
    const std::size_t last = path.find_last_of(L'\\');
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}
