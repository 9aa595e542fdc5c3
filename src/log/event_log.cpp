#include "log/event_log.h"

#include <type_traits>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "win32/raii.h"
#include "win32/text_convert.h"
#include "log/log_file.h"

namespace {

DWORD WriteToEventLog(WORD type, DWORD id, const wchar_t* const* strings, WORD count) noexcept
{
    const HANDLE source = RegisterEventSourceW(nullptr, kEventSourceName);
    if (!source)
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    if (!ReportEventW(source, type, 0, id, nullptr, count, 0, const_cast<const wchar_t**>(strings), nullptr))
        error = GetLastError();
    (void)DeregisterEventSource(source); // the event is written or not by now
    return error;
}

std::atomic<EventWriter> g_writer{nullptr};

void LogFailure(DWORD id, DWORD error) noexcept
{
    LogMessage(0, "EventLog<ReportEvent> ==> [FAILED %lu] %lu", static_cast<unsigned long>(error),
               static_cast<unsigned long>(id));
}

// One report, shared by the caller and the thread that writes it: whoever lets go last deletes it,
// so a caller that stops waiting leaves the thread a whole request.
struct Report {
    WORD type = 0;
    DWORD id = 0;
    std::vector<std::wstring> texts;
    std::vector<const wchar_t*> strings;
    EventWriter writer = nullptr;
    std::function<void()> afterWritten;
    HMODULE module = nullptr; // the writing thread's reference on this module
    DWORD result = ERROR_IO_PENDING;
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> references{2};

    void Release() noexcept
    {
        if (--references == 0)
            delete this;
    }
};

// The thread holds a reference on this module (taken by the caller), so that COM unloading the
// DLL while the event log keeps the write waiting does not pull the code from under it.
DWORD WINAPI ReportThread(LPVOID parameter) noexcept
{
    Report* report = static_cast<Report*>(parameter);
    const HMODULE module = report->module;
    report->result = report->writer(report->type, report->id, report->strings.data(),
                                    static_cast<WORD>(report->strings.size()));
    if (report->result != ERROR_SUCCESS)
        LogFailure(report->id, report->result);
    else if (report->afterWritten)
        report->afterWritten();
    (void)SetEvent(report->done.get());
    report->Release();
    FreeLibraryAndExitThread(module, 0); // gives back the reference taken for this thread
    return 0;
}
static_assert(std::is_convertible_v<decltype(&ReportThread), LPTHREAD_START_ROUTINE>);

// A reference on this module for a thread that runs its code; null when none can be taken.
HMODULE HoldModule() noexcept
{
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ReportThread), &module)
               ? module
               : nullptr;
}

} // namespace

void UseEventWriter(EventWriter writer) noexcept
{
    g_writer.store(writer);
}

namespace {

// A report of the event for its thread, or null with the failure logged; `fill` puts the
// strings into the report's texts and may throw std::bad_alloc.
template <class Fill>
std::unique_ptr<Report> NewReport(WORD type, DWORD id, const Fill& fill, std::function<void()> afterWritten) noexcept
{
    std::unique_ptr<Report> report;
    try {
        report = std::make_unique<Report>();
        report->type = type;
        report->id = id;
        report->afterWritten = std::move(afterWritten);
        const EventWriter writer = g_writer.load();
        report->writer = writer ? writer : WriteToEventLog;
        fill(report->texts);
        for (const std::wstring& text : report->texts)
            report->strings.push_back(text.c_str());
    } catch (...) {
        LogFailure(id, ERROR_OUTOFMEMORY);
        return nullptr;
    }
    if (!report->done) {
        LogFailure(id, GetLastError());
        return nullptr;
    }
    return report;
}

// Starts the thread that writes the report and then lets go of one of its two references. False,
// with the failure logged, when no thread can be started: without a reference on this module the
// thread would run code that COM may unload under it, so the event is dropped rather than
// written on the caller's thread, which may be Outlook's.
bool StartReportThread(Report& report) noexcept
{
    report.module = HoldModule();
    const UniqueHandle thread(report.module ? CreateThread(nullptr, 0, ReportThread, &report, 0, nullptr) : nullptr);
    if (thread)
        return true;
    const DWORD error = GetLastError();
    if (report.module)
        (void)FreeLibrary(report.module);
    LogFailure(report.id, error ? error : ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

// ReportAddinEvent with its strings already in UTF-16, filled in by `fill` (as NewReport takes it).
template <class Fill>
bool ReportTexts(WORD type, DWORD id, const Fill& fill, DWORD waitMs, HANDLE stopWaiting,
                 std::function<void()> afterWritten) noexcept
{
    std::unique_ptr<Report> owned = NewReport(type, id, fill, std::move(afterWritten));
    if (!owned || !StartReportThread(*owned))
        return false;
    Report* report = owned.release(); // the caller's reference, let go below
    if (waitMs == 0) {
        report->Release();
        return true;
    }

    const HANDLE waits[] = {report->done.get(), stopWaiting};
    const DWORD waited = WaitForMultipleObjects(stopWaiting ? 2 : 1, waits, FALSE, waitMs);
    bool written = false;
    if (waited == WAIT_OBJECT_0)
        written = report->result == ERROR_SUCCESS; // a failure was logged by the thread
    else if (waited == WAIT_TIMEOUT)
        LogMessage(0, "EventLog<ReportEvent> ==> [TIMED OUT] %lu", static_cast<unsigned long>(id));
    report->Release();
    return written;
}

} // namespace

bool ReportAddinEvent(WORD type, DWORD id, std::initializer_list<std::string_view> strings, DWORD waitMs,
                      HANDLE stopWaiting, std::function<void()> afterWritten) noexcept
{
    return ReportTexts(
        type, id,
        [&strings](std::vector<std::wstring>& texts) {
            for (const std::string_view text : strings)
                texts.push_back(ToWide(text, CP_ACP));
        },
        waitMs, stopWaiting, std::move(afterWritten));
}

bool ReportAddinEventW(WORD type, DWORD id, std::initializer_list<std::wstring_view> strings, DWORD waitMs,
                       HANDLE stopWaiting) noexcept
{
    return ReportTexts(
        type, id,
        [&strings](std::vector<std::wstring>& texts) {
            for (const std::wstring_view text : strings)
                texts.emplace_back(text);
        },
        waitMs, stopWaiting, nullptr);
}
