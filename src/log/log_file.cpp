#include "log/log_file.h"

#include <oleauto.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "com/raii.h"
#include "win32/text_convert.h"
#include "log/profile_file.h"

LogFile* LogFile::s_pInstance = nullptr;

namespace {

// Guards the instance against its deletion while another thread logs a line: Outlook's thread
// deletes it at the final release, while an event writer may still be reporting a failure.
SRWLOCK g_instanceLock = SRWLOCK_INIT;

// What LogBytesWritten answers.
std::atomic<ULONGLONG> g_bytesWritten{0};

// The lock held for one scope: shared by the threads writing lines, exclusive for a change.
class InstanceLock {
public:
    explicit InstanceLock(bool exclusive) noexcept : m_exclusive(exclusive)
    {
        if (m_exclusive)
            AcquireSRWLockExclusive(&g_instanceLock);
        else
            AcquireSRWLockShared(&g_instanceLock);
    }
    ~InstanceLock()
    {
        if (m_exclusive)
            ReleaseSRWLockExclusive(&g_instanceLock);
        else
            ReleaseSRWLockShared(&g_instanceLock);
    }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    const bool m_exclusive;
};

} // namespace

LogFile* LogFile::GetInstance()
{
    InstanceLock lock(true);
    if (!s_pInstance)
        s_pInstance = new LogFile();
    return s_pInstance;
}

void LogFile::DestroyInstance()
{
    LogFile* instance = nullptr;
    {
        InstanceLock lock(true);
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
    InstanceLock lock(true);
    m_strPath.swap(text);
}

void LogFile::SetOptions(BOOL enabled, BOOL timeStamp)
{
    InstanceLock lock(true);
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

void LogFile::WriteFormatted(UINT level, const wchar_t* format, va_list args) noexcept
{
    if (!m_bEnabled)
        return;
    try {
        const std::string narrowFormat = format ? ToNarrow(format, CP_THREAD_ACP) : std::string();
        std::string message = FormatV(narrowFormat.c_str(), args);
        WriteLine(message.c_str(), level);
    } catch (...) {
        // A message that cannot be composed is dropped; logging never fails its caller.
    }
}

void LogFile::WriteLine(const char* message, UINT level) noexcept
{
    if (level < m_nMinLevel)
        return;
    if (!m_bEnabled || m_strPath.empty())
        return;

    // Appended at the end whatever another handle did meanwhile; others may read, nobody else
    // may write.
    const UniqueFileHandle file = OpenProfileFile(m_strPath, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
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
    InstanceLock lock(false);
    LogFile* log = LogFile::Existing();
    if (!log)
        return;
    try {
        const std::wstring wideFormat = format ? ToWide(format, CP_THREAD_ACP) : std::wstring();
        va_list args;
        va_start(args, format);
        log->WriteFormatted(level, format ? wideFormat.c_str() : nullptr, args);
        va_end(args);
    } catch (...) {
        // Out of memory while converting the format: the line is dropped.
    }
}

ULONGLONG LogBytesWritten() noexcept
{
    return g_bytesWritten.load();
}

LogFile* OpenAddinLog()
{
    return OpenAddinLog(SHGetKnownFolderPath);
}

LogFile* OpenAddinLog(KnownFolderQuery query)
{
    const std::wstring folder = JoinPath(RoamingFolder(query), kLogFolderName);
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
