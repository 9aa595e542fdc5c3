#include "log/log_file.h"

#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "com/raii.h"
#include "win32/scoped_lock.h"
#include "win32/text_convert.h"
#include "log/profile_file.h"

LogFile* LogFile::s_pInstance = nullptr;

namespace {

// Guards the instance against its deletion while another thread logs a line: Outlook's thread
// deletes it at the final release, while an event writer may still be reporting a failure.
SRWLOCK g_instanceLock = SRWLOCK_INIT;

// One line at a time from this process's threads: the file is opened sharing no writing, so a
// second thread's open at the same moment would fail and lose its line.
SRWLOCK g_writeLock = SRWLOCK_INIT;

// What LogBytesWritten answers.
std::atomic<ULONGLONG> g_bytesWritten{0};

} // namespace

LogFile* LogFile::GetInstance()
{
    const ExclusiveLock lock(g_instanceLock);
    if (!s_pInstance)
        s_pInstance = new LogFile();
    return s_pInstance;
}

void LogFile::DestroyInstance()
{
    LogFile* instance = nullptr;
    {
        const ExclusiveLock lock(g_instanceLock);
        std::swap(instance, s_pInstance);
    }
    delete instance;
}

LogFile* LogFile::Existing()
{
    return s_pInstance;
}

// Both change what a line being written on another thread reads, so they wait for it.
void LogFile::SetLogPath(const wchar_t* path)
{
    std::wstring text = path ? path : L"";
    std::unique_ptr<HeldFolderFile> file = text.empty() ? nullptr : std::make_unique<HeldFolderFile>(text);
    const ExclusiveLock lock(g_instanceLock);
    m_strPath.swap(text);
    m_file.swap(file);
}

void LogFile::SetOptions(BOOL enabled, BOOL timeStamp)
{
    const ExclusiveLock lock(g_instanceLock);
    m_bEnabled = enabled;
    m_bTimeStamp = timeStamp;
}

void LogFile::DeleteLogFile()
{
    (void)DeleteProfileFile(m_strPath); // a missing file is the usual case
}

namespace {

// printf into a string of whatever length it needs. Throws std::bad_alloc.
std::string FormatV(const char* format, va_list args)
{
    va_list probe;
    va_copy(probe, args);
    int needed = vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    if (needed <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

} // namespace

std::string LogTimeStamp()
{
    static const char kInvalid[] = "Invalid DateTime";
    SYSTEMTIME now{};
    GetLocalTime(&now);
    now.wMilliseconds = 0;

    DOUBLE date = 0;
    if (!SystemTimeToVariantTime(&now, &date))
        return kInvalid;
    SYSTEMTIME back{};
    if (!VariantTimeToSystemTime(date, &back) || back.wYear != now.wYear || back.wMonth != now.wMonth ||
        back.wDay != now.wDay || back.wHour != now.wHour || back.wMinute != now.wMinute ||
        back.wSecond != now.wSecond)
        return kInvalid;

    UniqueBstr text;
    if (FAILED(VarBstrFromDate(date, LANG_USER_DEFAULT, 0, text.put())))
        return kInvalid;
    return ToNarrow(std::wstring_view(text.get(), SysStringLen(text.get())), CP_THREAD_ACP);
}

void LogFile::WriteFormatted(UINT level, const char* format, va_list args) noexcept
{
    if (!m_bEnabled)
        return;
    try {
        const std::string message = FormatV(format ? format : "", args);
        WriteLine(message.c_str(), level);
    } catch (...) {
        // A message that cannot be composed is dropped; logging never fails its caller.
    }
}

void LogFile::WriteLine(const char* message, UINT level) noexcept
{
    if (level < m_nMinLevel)
        return;
    if (!m_bEnabled || !m_file)
        return;

    // Appended at the end whatever another handle did meanwhile; others may read, nobody else
    // may write. Opened for this line only, in the folder held since the first line.
    const ExclusiveLock writing(g_writeLock);
    const UniqueFileHandle file = m_file->Open(FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
    if (!file)
        return;
    try {
        const int signedLevel = static_cast<int>(level);
        const std::string levelText = std::to_string(signedLevel);
        const std::string text = message ? message : "";
        std::string line;
        if (!m_bXmlFormat) {
            line = "(\"" + levelText + "\",\"" + (m_bTimeStamp ? LogTimeStamp() : std::string()) + "\"): " + text;
        } else if (m_bTimeStamp) {
            line = "<C>" + levelText + "</C><T>" + LogTimeStamp() + "</T><M>" + text + "</M>";
        } else {
            line = "<C>C" + levelText + "</C><M>" + text + "</M>";
        }
        line += '\n';
        // Each line feed written as CR LF, as a text-mode stream writes it.
        std::string bytes;
        bytes.reserve(line.size() + 8);
        for (const char c : line) {
            if (c == '\n')
                bytes += '\r';
            bytes += c;
        }
        DWORD written = 0;
        (void)WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                        nullptr); // a short write loses the line, nothing more
        g_bytesWritten += written;
    } catch (...) {
        // The line is lost; the file is closed all the same.
    }
}

void LogMessage(UINT level, const char* format, ...) noexcept
{
    const SharedLock lock(g_instanceLock);
    LogFile* log = LogFile::Existing();
    if (!log)
        return;
    va_list args;
    va_start(args, format);
    log->WriteFormatted(level, format, args);
    va_end(args);
}

ULONGLONG LogBytesWritten() noexcept
{
    return g_bytesWritten.load();
}

LogFile* OpenAddinLog()
{
    const std::wstring folder = JoinPath(RoamingFolder(), kLogFolderName);
    const std::wstring path = JoinPath(folder, kLogFileName);
    const std::wstring previous = JoinPath(folder, kPreviousLogFileName);
    if (path.empty() || previous.empty())
        return nullptr;
    // A folder that cannot be made drops each line later, as the files in it cannot be opened.
    (void)CreateProfileFolder(folder);

    LogFile* log = LogFile::GetInstance();
    log->SetLogPath(path.c_str());
    log->SetOptions(TRUE, TRUE);
    // The run before this one, kept for whoever looks into a termination or a crash: a log that
    // cannot be moved (there is none, or it is open elsewhere) is deleted as before.
    (void)RenameProfileFile(path, previous);
    log->DeleteLogFile();
    return log;
}
