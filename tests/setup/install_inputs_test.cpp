#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "setup/install_inputs.h"

namespace {

TEST(InstallInputs, OnlyFullOrReducedUserInterfaceShowsDialogs)
{
    for (const char* level : {"4", "5"})
        EXPECT_TRUE(IsDialogUiLevel(level)) << level;
    for (const char* level : {"", "0", "1", "2", "3", "6", "05", "5 ", "69", "full"})
        EXPECT_FALSE(IsDialogUiLevel(level)) << level;
    EXPECT_FALSE(IsDialogUiLevel(nullptr));
    // Not an installation: the read fails.
    EXPECT_FALSE(InstallationShowsDialogs(0));
}

TEST(InstallInputs, UninstallArgumentsFitOrAreRefused)
{
    char arguments[MAX_PATH];
    ASSERT_TRUE(UninstallArguments("{5B7D0E2A-3C41-4F6B-9A8E-1D2C3B4A5F60}", arguments));
    EXPECT_STREQ(arguments, "/x {5B7D0E2A-3C41-4F6B-9A8E-1D2C3B4A5F60}");
    ASSERT_TRUE(UninstallArguments("", arguments));
    EXPECT_STREQ(arguments, "/x ");

    const std::string fits(256, 'C');
    ASSERT_TRUE(UninstallArguments(fits.c_str(), arguments));
    EXPECT_EQ(arguments, "/x " + fits);

    // One more, placed in a buffer with a guard behind it: refused, nothing written past the end.
    struct {
        char arguments[MAX_PATH];
        char guard[16];
    } buffer;
    std::memset(&buffer, 'G', sizeof(buffer));
    const std::string tooLong(257, 'C');
    EXPECT_FALSE(UninstallArguments(tooLong.c_str(), buffer.arguments));
    EXPECT_STREQ(buffer.arguments, "");
    EXPECT_EQ(std::string(buffer.guard, sizeof(buffer.guard)), std::string(16, 'G'));
}

} // namespace
