// The product version read from a file's version resource, as the options page shows it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "win32/module_instance.h"
#include "win32/text_convert.h"
#include "win32/version_resource.h"
#include "support/test_support.h"

namespace {

// A copy of this program whose version resource says product 2.4.0.1, file 9.8.7.6.
std::string WriteVersionedCopy(const ScopedTempDir& dir)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(ModuleInstance(), self, MAX_PATH);
    const std::string copy = dir.file("versioned.exe");
    if (!CopyFileA(self, copy.c_str(), FALSE))
        return std::string();
#pragma pack(push, 1)
    struct VersionResource {
        WORD length;
        WORD valueLength;
        WORD type;
        wchar_t key[16];
        WORD padding;
        VS_FIXEDFILEINFO value;
    };
#pragma pack(pop)
    VersionResource resource{};
    resource.length = sizeof(resource);
    resource.valueLength = sizeof(VS_FIXEDFILEINFO);
    wcscpy(resource.key, L"VS_VERSION_INFO");
    resource.value.dwSignature = 0xFEEF04BD;
    resource.value.dwStrucVersion = 0x00010000;
    resource.value.dwFileVersionMS = MAKELONG(8, 9);
    resource.value.dwFileVersionLS = MAKELONG(6, 7);
    resource.value.dwProductVersionMS = MAKELONG(4, 2);
    resource.value.dwProductVersionLS = MAKELONG(1, 0);
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (!update)
        return std::string();
    UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                    &resource, sizeof(resource));
    return EndUpdateResourceA(update, FALSE) ? copy : std::string();
}

TEST(VersionResource, ProductVersionOfTheFileOrEmpty)
{
    ScopedTempDir dir;
    const std::string versioned = WriteVersionedCopy(dir);
    ASSERT_FALSE(versioned.empty());
    const std::string plain = dir.file("plain.txt");
    FILE* f = fopen(plain.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("no version here", f);
    fclose(f);
    // A name that the ANSI code page may not carry ("Programmy", in Cyrillic).
    const std::wstring cyrillic =
        ToWide(dir.path(), CP_ACP) + L"\\\x041F\x0440\x043E\x0433\x0440\x0430\x043C\x043C\x044B.exe";
    ASSERT_TRUE(CopyFileW(ToWide(versioned, CP_ACP).c_str(), cyrillic.c_str(), FALSE));

    const struct {
        std::wstring path;
        const char* expected;
    } cases[] = {
        {ToWide(versioned, CP_ACP), "2.4.0.1"},
        {cyrillic, "2.4.0.1"},
        {ToWide(plain, CP_ACP), ""},
        {ToWide(dir.file("missing.dll"), CP_ACP), ""},
    };
    for (const auto& c : cases) {
        char text[64];
        memset(text, 'Z', sizeof(text));
        GetFileProductVersionString(c.path.c_str(), text, sizeof(text));
        EXPECT_STREQ(text, c.expected) << ToNarrow(c.path, CP_UTF8);
    }
    DeleteFileW(cyrillic.c_str()); // the folder's own clean-up cannot name it
}

} // namespace
