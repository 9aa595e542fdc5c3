// The process-wide log: one plain-text line per event, appended to a file that is
// opened and closed for every line so that other programs can read it at any time. Its folder
// is checked once and held from the first line on (profile_file.h: HeldFolderFile).
#pragma once

#include <windows.h>
#include <cstdarg>
#include <memory>
#include <string>

#include "log/profile_file.h"
#include "log/profile_path.h"

class LogFile {
public:
    // Returns the instance, creating it on first use. Throws std::bad_alloc.
    static LogFile* GetInstance();
    // Deletes the instance; lines logged afterwards are dropped.
    static void DestroyInstance();
    // The instance if one exists, without creating it.
    static LogFile* Existing();

    // A full wide path (profile_path.h); every file call on it is a wide one.
    void SetLogPath(const wchar_t* path);
    const std::wstring& LogPath() const { return m_strPath; }
    void SetOptions(BOOL enabled, BOOL timeStamp);
    void DeleteLogFile();

    // Formats a message (printf rules, %s takes a narrow string) and writes it: the format's
    // bytes as they are, formatted once. No-throw.
    void WriteFormatted(UINT level, const char* format, va_list args) noexcept;
    // Appends one line built from the message. No-throw; a failure drops the line.
    void WriteLine(const char* message, UINT level) noexcept;

    // Only the logger's own contract uses these; nothing in the add-in changes them.
    void SetMinLevel(UINT level) { m_nMinLevel = level; }
    void SetXmlFormat(BOOL xml) { m_bXmlFormat = xml; }

private:
    LogFile() = default;

    UINT m_nMinLevel = 0;
    BOOL m_bXmlFormat = FALSE;
    BOOL m_bEnabled = FALSE;
    std::wstring m_strPath;
    // The file at m_strPath (none while it is empty), opened for each line.
    std::unique_ptr<HeldFolderFile> m_file;
    BOOL m_bTimeStamp = TRUE;

    static LogFile* s_pInstance;
};

// The current local time as the user's regional settings write it, or "Invalid DateTime".
std::string LogTimeStamp();

// The compiler checks LogMessage's format and arguments as it checks printf's (with the
// archetype of the runtime's vsnprintf that formats the message), so a message passed as the
// format, or an argument of the wrong type, is caught when building.
#if defined(__MINGW_PRINTF_FORMAT)
#define VANTREL_LOG_FORMAT_CHECK __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#elif defined(__GNUC__)
#define VANTREL_LOG_FORMAT_CHECK __attribute__((format(printf, 2, 3)))
#else
#define VANTREL_LOG_FORMAT_CHECK
#endif

// printf-style logging; does nothing while no LogFile instance exists. No-throw.
void LogMessage(UINT level, const char* format, ...) noexcept VANTREL_LOG_FORMAT_CHECK;

// The bytes that this process's log lines have put into files since the process began, as
// WriteFile reported them written (the count grows by each line's bytes once its write has
// returned). The hold before Outlook's end takes them out of the process's write count, which
// counts them too. Any thread; never throws.
ULONGLONG LogBytesWritten() noexcept;

// The log's folder in the roaming application-data folder, and the names of the files in it.
constexpr wchar_t kLogFolderName[] = L"Vantrel";
constexpr wchar_t kLogFileName[] = L"Vantrel.log";
// The previous run's log, kept beside the log when a new one begins.
constexpr wchar_t kPreviousLogFileName[] = L"Vantrel.previous.log";

// Sets the log up at %APPDATA%\Vantrel\Vantrel.log and empties it, after moving the old one to
// Vantrel.previous.log beside it (replacing an older one; a failed move is passed over and the
// old log is deleted as before). The folder is the user's roaming folder as UTF-16, whatever
// characters its name holds. Returns the instance, or null when that folder cannot be found or
// the paths cannot be joined (the log then stays closed and no file is written anywhere).
// The roaming folder is found through the known-folder query (profile_path.h: UseKnownFolderQuery).
// Throws std::bad_alloc.
LogFile* OpenAddinLog();
