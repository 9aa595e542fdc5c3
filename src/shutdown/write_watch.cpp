#include "shutdown/write_watch.h"

#include <atomic>

#include "com/text_convert.h"
#include "log/log_file.h"
#include "log/profile_path.h"

namespace {

std::atomic<IoCounterReader> g_ioCounterReader{nullptr};

// A path for the log, which is narrow (ANSI code page); the files themselves are read wide.
std::string ForLog(const std::wstring& path)
{
    return ToNarrow(path, CP_ACP);
}

} // namespace

void UseIoCounterReader(IoCounterReader reader) noexcept
{
    g_ioCounterReader.store(reader);
}

WriteWatch::FileState WriteWatch::Read(const std::wstring& path, DWORD* error)
{
    FileState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) {
        if (error)
            *error = GetLastError();
        return state;
    }
    state.present = true;
    state.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    state.written = data.ftLastWriteTime;
    return state;
}

ULONGLONG WriteWatch::WrittenBytes()
{
    const IoCounterReader reader = g_ioCounterReader.load();
    IO_COUNTERS counters{};
    if (!(reader ? reader : GetProcessIoCounters)(GetCurrentProcess(), &counters))
        return 0; // unreadable counters show no write
    return counters.WriteTransferCount;
}

WriteWatch::WriteWatch(const std::vector<std::wstring>& paths)
{
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::wstring& path = paths[i];
        if (path.empty()) {
            LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NO FILE] store %u lives on a server ",
                       static_cast<unsigned>(i + 1));
            continue;
        }
        DWORD error = ERROR_SUCCESS;
        const FileState state = Read(path, &error);
        if (!state.present) {
            LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NOT WATCHED] %s: error %lu", ForLog(path).c_str(),
                       static_cast<unsigned long>(error));
            continue;
        }
        m_files.push_back({path, state});
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WATCHING] %s", ForLog(path).c_str());
    }
    if (m_files.empty()) {
        m_writtenBytes = WrittenBytes();
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WATCHING] the process's write counter ");
    }
}

bool WriteWatch::Sample()
{
    if (m_files.empty()) {
        const ULONGLONG written = WrittenBytes();
        const ULONGLONG delta = written >= m_writtenBytes ? written - m_writtenBytes : 0;
        m_writtenBytes = written;
        if (delta <= kQuietWriteBytesPerSample)
            return false;
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WRITING] %llu bytes", static_cast<unsigned long long>(delta));
        return true;
    }
    bool writing = false;
    for (File& file : m_files) {
        const FileState now = Read(file.path, nullptr);
        const bool changed = now.present != file.state.present || now.size != file.state.size ||
                             CompareFileTime(&now.written, &file.state.written) != 0;
        file.state = now;
        if (changed) {
            writing = true;
            m_lastChanged = file.path;
            LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WRITING] %s", ForLog(file.path).c_str());
        }
    }
    return writing;
}
