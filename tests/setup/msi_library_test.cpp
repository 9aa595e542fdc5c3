// The installer actions' msi.dll, loaded at run time from the system folder only.
#include <gtest/gtest.h>

#include <string>

#include "setup/install_inputs.h"
#include "setup/msi_library.h"

namespace {

std::string g_requested;
DWORD g_flags = 0;

HMODULE WINAPI MissingLibrary(LPCSTR name, HANDLE, DWORD flags)
{
    g_requested = name ? name : "";
    g_flags = flags;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

class MsiLibraryTest : public ::testing::Test {
protected:
    void TearDown() override { UseMsiLibraryLoader(nullptr); }
};

TEST_F(MsiLibraryTest, WithoutMsiDllEveryReadFailsAndWritesNothing)
{
    UseMsiLibraryLoader(MissingLibrary);
    const MsiLibrary msi;
    EXPECT_EQ(g_requested, "msi.dll");
    EXPECT_EQ(g_flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32)) << "from the system folder only";

    char value[8] = "kept";
    DWORD capacity = sizeof(value);
    EXPECT_EQ(msi.GetProperty(1, "UILevel", value, &capacity), static_cast<UINT>(ERROR_MOD_NOT_FOUND));
    EXPECT_STREQ(value, "kept");
    EXPECT_EQ(capacity, sizeof(value));
}

} // namespace
