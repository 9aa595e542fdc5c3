#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/raii.h"
#include "win32/system_library.h"

namespace {

struct LoaderCall {
    std::string name;
    DWORD flags;
};

// A loader that records its calls and fails the first one with g_firstError.
std::vector<LoaderCall> g_calls;
DWORD g_firstError = ERROR_SUCCESS;

HMODULE WINAPI RecordingLoader(LPCSTR name, HANDLE reserved, DWORD flags)
{
    g_calls.push_back({name, flags});
    if (g_calls.size() == 1 && g_firstError != ERROR_SUCCESS) {
        SetLastError(g_firstError);
        return nullptr;
    }
    return LoadLibraryExA(name, reserved, flags);
}

std::string SystemFolderFile(const char* name)
{
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\" + name;
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

class LoadSystemLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_firstError = ERROR_SUCCESS;
    }
};

TEST_F(LoadSystemLibraryTest, LoadsFromTheSystemFolderWithTheSearchFlag)
{
    UniqueModule psapi(LoadSystemLibrary("PSAPI.DLL", RecordingLoader));
    ASSERT_TRUE(psapi);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].name, "PSAPI.DLL");
    EXPECT_EQ(g_calls[0].flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, ModulePath(psapi.get()).c_str(), -1,
                             SystemFolderFile("psapi.dll").c_str(), -1),
              CSTR_EQUAL);
}

TEST_F(LoadSystemLibraryTest, WithoutTheSearchFlagFallsBackToTheFullSystemPath)
{
    // A Windows 7 without KB2533623 refuses the flag this way.
    g_firstError = ERROR_INVALID_PARAMETER;
    UniqueModule uxtheme(LoadSystemLibrary("uxtheme.dll", RecordingLoader));
    ASSERT_TRUE(uxtheme);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[1].name, SystemFolderFile("uxtheme.dll"));
    EXPECT_EQ(g_calls[1].flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
}

TEST_F(LoadSystemLibraryTest, OtherFailuresAndNamesWithAPathGiveNothing)
{
    g_firstError = ERROR_MOD_NOT_FOUND;
    EXPECT_EQ(LoadSystemLibrary("PSAPI.DLL", RecordingLoader), nullptr);
    EXPECT_EQ(g_calls.size(), 1u);

    g_calls.clear();
    g_firstError = ERROR_INVALID_PARAMETER;
    for (const char* name : {"..\\PSAPI.DLL", "C:\\PSAPI.DLL", "sub/PSAPI.DLL", "C:PSAPI.DLL", ""})
        EXPECT_EQ(LoadSystemLibrary(name, RecordingLoader), nullptr) << name;
    EXPECT_EQ(LoadSystemLibrary(nullptr, RecordingLoader), nullptr);
    EXPECT_TRUE(g_calls.empty());
}

} // namespace
