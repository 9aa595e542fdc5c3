// The four settings: REG_SZ values of "SOFTWARE\Vantrel" per user (read and written)
// and per machine (defaults, read only), and the values an administrator enforces under
// "SOFTWARE\Policies\Vantrel" (machine, then user; read only, REG_DWORD or REG_SZ).
// Nothing is cached; every call opens its own key. Runs on any thread.
#pragma once

#include <windows.h>

#include <cstddef>

// Every caller reads into a buffer of this size and passes kSettingReadSize.
constexpr DWORD kSettingBufferSize = 256;
constexpr DWORD kSettingReadSize = 255;

// The names of the four settings, as the user's key, the machine defaults and the policy keys
// hold them. The policy template's test checks the template against this list.
constexpr const char* kSettingNames[] = {"Enabled", "ShowExitDialog", "CloseWinWord", "Delay"};
constexpr size_t kSettingCount = sizeof(kSettingNames) / sizeof(kSettingNames[0]);

// The longest wait, in whole seconds, for Outlook to finish writing its data files once the
// countdown is over. Not one of the four page settings: it has a reading rule of its own
// (ReadWaitForWrites), and an administrator or the installer sets it, not the "Shutdown" page.
constexpr char kWaitForWritesSetting[] = "WaitForWrites";
constexpr int kDefaultWaitForWrites = 60;
constexpr int kMaxWaitForWrites = 3600;

// Where Group Policy writes what an administrator enforces, under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER.
constexpr char kPolicyKey[] = "SOFTWARE\\Policies\\Vantrel";

// The position of name in kSettingNames, or -1.
int SettingIndex(const char* name) noexcept;

// Reads one value into buffer (at most size bytes, terminating NUL included); a missing,
// empty, too long, unterminated or non-string value gives an empty text. A failed read
// also creates the key where rights allow. No-throw.
void ReadSetting(const char* name, char* buffer, DWORD size, HKEY root);

// Reads the value an administrator enforces for one of the four settings, or for
// kWaitForWritesSetting, into buffer (same
// sizes as ReadSetting): the machine policy's if it holds a usable one, else the user
// policy's. A REG_DWORD reads as its unsigned decimal text ("30", "4294967295"), a REG_SZ by
// ReadSetting's rules. A value of any other type, a REG_DWORD that is not four bytes and a
// REG_SZ that reads as empty (empty, too long, unterminated) enforce nothing: they are passed
// over and logged, once for as long as that key holds that kind of value. Returns true when a
// value is enforced; otherwise buffer holds an empty text. Opens keys for reading only and
// never creates one. No-throw.
bool ReadPolicySetting(const char* name, char* buffer, DWORD size);

// Reads the value that decides: the enforced one, else the user's own as ReadSetting reads it
// (which creates the user's key on a failed read, as before). True when it is enforced. No-throw.
bool ReadEffectiveSetting(const char* name, char* buffer, DWORD size);

// The seconds of kWaitForWritesSetting from its text: only decimal digits for 0 to 3600 count;
// anything else (empty, a sign, blanks, other characters, a larger number) gives -1. No-throw.
int ParseWaitForWrites(const char* text) noexcept;

// The seconds Outlook is given to finish writing its data files: the first usable value of the
// enforced one (machine policy, then user policy; REG_DWORD or REG_SZ), the user's own
// (HKCU\SOFTWARE\Vantrel), the machine's (HKLM\SOFTWARE\Vantrel), else kDefaultWaitForWrites.
// A value that ParseWaitForWrites refuses counts as missing. 0 switches the wait off. Creates
// no key. No-throw.
int ReadWaitForWrites() noexcept;

// Writes text as REG_SZ. Returns 1 when written; 0 otherwise (the key is then created
// for the next attempt). A null text writes nothing. No-throw.
int WriteSetting(const char* name, const char* text, HKEY root);

// 1 unless the effective "Enabled" is exactly "0"; logs the decision. No-throw.
int Addin_Enabled();

// Copies the machine's "Enabled", "Delay" and "ShowExitDialog" to the user's key when the
// user's "Delay" is empty. "CloseWinWord" is never seeded, and no policy value is ever
// copied: the user's own values stay theirs. No-throw.
void SeedUserSettings();
