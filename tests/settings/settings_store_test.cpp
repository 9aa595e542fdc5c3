#include <gtest/gtest.h>

#include <cstring>

#include <string>

#include "win32/raii.h"
#include "log/log_file.h"
#include "settings/settings_store.h"
#include "support/leak_gauge.h"
#include "support/test_support.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteSettingsKeys(); }
    void TearDown() override
    {
        DeleteSettingsKeys();
        LogFile::DestroyInstance();
    }

    static std::string Read(Setting setting, HKEY root = HKEY_CURRENT_USER)
    {
        SettingText buffer;
        std::memset(buffer, 'Z', sizeof(buffer));
        ReadSetting(setting, buffer, root);
        return buffer;
    }
    static std::string Stored(const char* name, HKEY root = HKEY_CURRENT_USER)
    {
        DWORD type = 0;
        std::string data;
        if (!GetRawSetting(root, name, &type, &data))
            return "<missing>";
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
        return data;
    }
};

struct ReadCase {
    const char* label;
    DWORD type;
    std::string data; // raw bytes as stored
    const char* expected;
};

TEST_F(SettingsTest, ReadTable)
{
    const std::string chars254(254, 'a');
    const std::string chars255(255, 'b');
    const DWORD dword = 30;
    const ReadCase cases[] = {
        {"plain text", REG_SZ, std::string("30", 3), "30"},
        {"empty text", REG_SZ, std::string("", 1), ""},
        {"no data at all", REG_SZ, std::string(), ""},
        {"254 characters", REG_SZ, chars254 + '\0', chars254.c_str()},
        {"255 characters", REG_SZ, chars255 + '\0', ""},
        {"REG_DWORD", REG_DWORD, std::string(reinterpret_cast<const char*>(&dword), 4), ""},
        {"REG_EXPAND_SZ literal", REG_EXPAND_SZ, std::string("%TEMP%\\x", 9), "%TEMP%\\x"},
        {"REG_BINARY", REG_BINARY, std::string("1", 2), ""},
    };
    for (const ReadCase& c : cases) {
        DeleteSettingsKeys();
        SetRawSetting(HKEY_CURRENT_USER, "Delay", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(Read(Setting::Delay), c.expected) << c.label;
    }
}

TEST_F(SettingsTest, StringWithoutTerminatingNulReadsEmpty)
{
    // Written through the wide API so that the stored data really lacks the terminator.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Delay", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"12"), 2 * sizeof(wchar_t));
    RegCloseKey(key);

    // Wine's RegQueryValueExA terminates the converted text itself (it reports 3 bytes,
    // "12" and a NUL), so the unterminated case only shows on Windows.
    key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Vantrel", 0, KEY_READ, &key);
    char raw[16] = {};
    DWORD length = sizeof(raw);
    RegQueryValueExA(key, "Delay", nullptr, nullptr, reinterpret_cast<BYTE*>(raw), &length);
    RegCloseKey(key);
    if (length == 3 && raw[2] == '\0')
        GTEST_SKIP() << "this registry terminates unterminated strings when it converts them";
    EXPECT_EQ(Read(Setting::Delay), "");
}

TEST_F(SettingsTest, FailedReadGivesEmptyTextAndCreatesTheKey)
{
    ASSERT_FALSE(SettingsKeyExists(HKEY_CURRENT_USER));
    EXPECT_EQ(Read(Setting::Delay), "");
    EXPECT_TRUE(SettingsKeyExists(HKEY_CURRENT_USER));
    EXPECT_EQ(Read(Setting::Delay), "") << "no value in an existing key";
}

TEST_F(SettingsTest, WriteStoresRegSzWithItsTerminator)
{
    EXPECT_EQ(WriteSetting(Setting::Delay, "10", HKEY_CURRENT_USER), 0) << "no key yet: the first write fails";
    EXPECT_TRUE(SettingsKeyExists(HKEY_CURRENT_USER));
    EXPECT_EQ(Stored("Delay"), "<missing>");

    EXPECT_EQ(WriteSetting(Setting::Delay, "10", HKEY_CURRENT_USER), 1);
    EXPECT_EQ(Stored("Delay"), std::string("10", 3));
    EXPECT_EQ(WriteSetting(Setting::Delay, "", HKEY_CURRENT_USER), 1);
    EXPECT_EQ(Stored("Delay"), std::string("", 1));
}

TEST_F(SettingsTest, NullTextWritesNothing)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "5");
    EXPECT_EQ(WriteSetting(Setting::Delay, nullptr, HKEY_CURRENT_USER), 0);
    EXPECT_EQ(Read(Setting::Delay), "5");
}

TEST_F(SettingsTest, EnabledUnlessExactlyZero)
{
    ScopedTempDir dir;
    const std::string path = dir.file("test.log");
    LogFile::GetInstance()->SetLogPath(Wide(path).c_str());
    LogFile::GetInstance()->SetOptions(TRUE, FALSE);

    struct Case {
        const char* value; // null: no value
        int expected;
    };
    const Case cases[] = {{nullptr, 1}, {"0", 0}, {"00", 1}, {" 0", 1}, {"false", 1}, {"", 1}, {"1 ", 1}, {"1", 1}};
    for (const Case& c : cases) {
        DeleteSettingsKeys();
        DeleteFileA(path.c_str());
        if (c.value)
            SetStringSetting(HKEY_CURRENT_USER, "Enabled", c.value);
        EXPECT_EQ(Addin_Enabled(), c.expected) << (c.value ? c.value : "(missing)");
        EXPECT_EQ(ReadWholeFile(path), c.expected ? "(\"0\",\"\"): Connect<Addin_Enabled> ==> [ENABLED] \r\n"
                                                  : "(\"0\",\"\"): Connect<Addin_Enabled> ==> [DISABLED] \r\n");
    }
}

TEST_F(SettingsTest, SeedingWithoutAnyKeysCreatesEmptyUserValues)
{
    SeedUserSettings();
    EXPECT_EQ(Stored("Enabled"), std::string("", 1));
    EXPECT_EQ(Stored("Delay"), std::string("", 1));
    EXPECT_EQ(Stored("ShowExitDialog"), std::string("", 1));
    EXPECT_EQ(Stored("CloseWinWord"), "<missing>");
}

TEST_F(SettingsTest, SeedingCopiesMachineDefaultsWhileUserDelayIsEmpty)
{
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "1");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "");
    SetStringSetting(HKEY_LOCAL_MACHINE, "ShowExitDialog", "1");
    SetStringSetting(HKEY_LOCAL_MACHINE, "CloseWinWord", "1");

    SeedUserSettings();
    EXPECT_EQ(Read(Setting::Enabled), "1");
    EXPECT_EQ(Read(Setting::ShowExitDialog), "1");
    EXPECT_EQ(Stored("CloseWinWord"), "<missing>");

    // The machine's Delay is empty too, so the next connection seeds again and overwrites.
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    SetStringSetting(HKEY_LOCAL_MACHINE, "ShowExitDialog", "0");
    SeedUserSettings();
    EXPECT_EQ(Read(Setting::Enabled), "1");
    EXPECT_EQ(Read(Setting::ShowExitDialog), "0");

    // Once the machine gives a Delay, the copy stops.
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "15");
    SeedUserSettings();
    EXPECT_EQ(Read(Setting::Delay), "15");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "0");
    SeedUserSettings();
    EXPECT_EQ(Read(Setting::Enabled), "1");
}

// The machine's defaults live in the 64-bit view for Office of either bitness: an x86 add-in on
// 64-bit Windows reads them there, not from WOW6432Node (which holds a decoy here).
TEST_F(SettingsTest, MachineDefaultsComeFromThe64BitView)
{
    if (!RegistryHasTwoViews())
        GTEST_SKIP() << "32-bit Windows has one registry view";
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "0");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "12");
    UniqueHKey decoy;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, decoy.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(decoy.get(), "Delay", 0, REG_SZ, reinterpret_cast<const BYTE*>("99"), 3), ERROR_SUCCESS);

    SeedUserSettings();
    EXPECT_EQ(Read(Setting::Delay), "12");
    EXPECT_EQ(Read(Setting::Enabled), "0");
    EXPECT_EQ(Read(Setting::Delay, HKEY_LOCAL_MACHINE), "12");
}

TEST_F(SettingsTest, UserDelayOfZeroStopsSeeding)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "0");
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "1");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "30");
    SeedUserSettings();
    EXPECT_EQ(Read(Setting::Enabled), "0");
    EXPECT_EQ(Read(Setting::Delay), "0");
}

// The last read is of a value that no test here writes: a failed read, which makes the key.
void Hammer(Setting setting)
{
    SettingText buffer;
    for (int i = 0; i < 2000; ++i) {
        ReadSetting(Setting::Delay, buffer, HKEY_CURRENT_USER);
        WriteSetting(setting, buffer, HKEY_CURRENT_USER);
        ReadSetting(Setting::WaitForWrites, buffer, HKEY_CURRENT_USER);
    }
}

// One of the two hammering threads. It says it runs, waits for the start, hammers, says it is
// done and waits to be let go: its start and its end both fall outside the measured window.
struct HammerThread {
    Setting setting = Setting::Enabled;
    HANDLE start = nullptr;
    HANDLE letGo = nullptr;
    UniqueHandle running{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle thread;
};

DWORD WINAPI RunHammer(void* context) noexcept
{
    auto* self = static_cast<HammerThread*>(context);
    SetEvent(self->running.get());
    WaitForSingleObject(self->start, INFINITE);
    Hammer(self->setting);
    SetEvent(self->done.get());
    return WaitForSingleObject(self->letGo, INFINITE);
}

TEST_F(SettingsTest, TwoThreadsLeakNoHandles)
{
    // A key left open by any call, even only when the two threads collide, shows in one count:
    // nothing is repeated. The handles are counted while both threads run, before the start and
    // once both are done; CreateThread, not std::thread (see support/leak_gauge.h).
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "10");
    Hammer(Setting::CloseWinWord);
    const UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle letGo(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HammerThread threads[2];
    threads[0].setting = Setting::Enabled;
    threads[1].setting = Setting::ShowExitDialog;
    for (HammerThread& t : threads) {
        t.start = start.get();
        t.letGo = letGo.get();
        t.thread.reset(CreateThread(nullptr, 0, RunHammer, &t, 0, nullptr));
        ASSERT_TRUE(t.thread && t.running && t.done);
    }
    // Whatever happens below, the threads are let go and have ended before `threads` goes.
    struct EndThreads {
        HANDLE letGo;
        HammerThread* threads;
        ~EndThreads()
        {
            SetEvent(letGo);
            for (int i = 0; i < 2; ++i)
                WaitForSingleObject(threads[i].thread.get(), INFINITE);
        }
    } endThreads{letGo.get(), threads};
    const HANDLE running[] = {threads[0].running.get(), threads[1].running.get()};
    const HANDLE done[] = {threads[0].done.get(), threads[1].done.get()};

    ASSERT_EQ(WaitForMultipleObjects(2, running, TRUE, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    const int before = CountOpenHandles();
    SetEvent(start.get());
    ASSERT_EQ(WaitForMultipleObjects(2, done, TRUE, 600000), static_cast<DWORD>(WAIT_OBJECT_0));
    const int after = CountOpenHandles();

    EXPECT_EQ(after, before) << "every registry key opened must be closed again";
    EXPECT_EQ(Read(Setting::Enabled), "10");
    EXPECT_EQ(Read(Setting::ShowExitDialog), "10");
}

} // namespace
