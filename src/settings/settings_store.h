// The four settings: REG_SZ values of "SOFTWARE\Vantrel" per user (read and written)
// and per machine (defaults, read only). Nothing is cached; every call opens its own key.
#pragma once

#include <windows.h>

// Every caller reads into a buffer of this size and passes kSettingReadSize.
constexpr DWORD kSettingBufferSize = 256;
constexpr DWORD kSettingReadSize = 255;

// Reads one value into buffer (at most size bytes, terminating NUL included); a missing,
// empty, too long, unterminated or non-string value gives an empty text. A failed read
// also creates the key where rights allow. No-throw.
void ReadSetting(const char* name, char* buffer, DWORD size, HKEY root);

// Writes text as REG_SZ. Returns 1 when written; 0 otherwise (the key is then created
// for the next attempt). A null text writes nothing. No-throw.
int WriteSetting(const char* name, const char* text, HKEY root);

// 1 unless the user's "Enabled" is exactly "0"; logs the decision. No-throw.
int Addin_Enabled();

// Copies the machine's "Enabled", "Delay" and "ShowExitDialog" to the user's key when the
// user's "Delay" is empty. "CloseWinWord" is never seeded. No-throw.
void SeedUserSettings();
