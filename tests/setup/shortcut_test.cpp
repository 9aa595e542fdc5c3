// CreateShortcut on this process's threads: it posts nothing, so it needs no process of its own.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "com/raii.h"
#include "win32/text_convert.h"
#include "setup/shortcut.h"
#include "setup_test_support.h"

namespace {

// Runs CreateShortcut on a new thread, with COM initialised there or not.
HRESULT CreateOnNewThread(bool initialiseCom, const char* target, const char* arguments, const std::wstring& link)
{
    const std::wstring wideTarget = ToWide(target, CP_ACP);
    const std::wstring wideArguments = arguments ? ToWide(arguments, CP_ACP) : std::wstring();
    const wchar_t* givenArguments = arguments ? wideArguments.c_str() : nullptr;
    HRESULT result = E_FAIL;
    std::thread thread([&] {
        if (initialiseCom) {
            CoInitializeGuard com;
            result = CreateShortcut(wideTarget.c_str(), givenArguments, link.c_str(), L"Uninstall");
        } else {
            result = CreateShortcut(wideTarget.c_str(), givenArguments, link.c_str(), L"Uninstall");
        }
    });
    thread.join();
    return result;
}

HRESULT CreateOnNewThread(bool initialiseCom, const char* target, const char* arguments, const std::string& link)
{
    return CreateOnNewThread(initialiseCom, target, arguments, ToWide(link, CP_ACP));
}

const char kTarget[] = "C:\\windows\\system32\\msiexec.exe";

TEST(CreateShortcut, SavesPathArgumentsDescriptionAndTheTargetsFirstIcon)
{
    ScopedTempDir dir;
    const std::string path = dir.file("Uninstall.lnk");
    ASSERT_EQ(CreateOnNewThread(true, kTarget, "/x {code}", path), S_OK);

    const Link link = ReadLink(path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.path, kTarget);
    EXPECT_EQ(link.arguments, "/x {code}");
    EXPECT_EQ(link.description, "Uninstall");
    EXPECT_EQ(link.iconPath, kTarget);
    EXPECT_EQ(link.iconIndex, 0);

    // Without arguments the link has none.
    const std::string bare = dir.file("Bare.lnk");
    ASSERT_EQ(CreateOnNewThread(true, kTarget, nullptr, bare), S_OK);
    EXPECT_EQ(ReadLink(bare).arguments, "");
}

TEST(CreateShortcut, ReturnsTheFailureOfTheFirstStepThatFails)
{
    ScopedTempDir dir;
    // It does not initialise COM itself: the object cannot be created.
    EXPECT_EQ(CreateOnNewThread(false, kTarget, nullptr, dir.file("NoCom.lnk")), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(FileExists(dir.file("NoCom.lnk")));

    // The save fails in a folder that does not exist.
    const std::string missing = dir.file("missing\\Uninstall.lnk");
    EXPECT_TRUE(FAILED(CreateOnNewThread(true, kTarget, nullptr, missing)));
    EXPECT_FALSE(FileExists(missing));
}

TEST(CreateShortcut, SavesIntoAFolderWhoseNameTheAnsiCodePageCannotSpell)
{
    // An all-users Start menu below a profile or data folder named outside the code page: the
    // link lands there, not under a name garbled to '?' (which no folder may hold).
    ScopedTempDir dir;
    const std::wstring folder = ToWide(dir.path(), CP_ACP) + L"\\\u0141ukasz Ji\u0159\u00ED";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring link = folder + L"\\Uninstall.lnk";
    EXPECT_EQ(CreateOnNewThread(true, kTarget, "/x {code}", link), S_OK);
    EXPECT_NE(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(link.c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace
