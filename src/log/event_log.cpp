#include "log/event_log.h"

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "com/module_instance.h"
#include "com/raii.h"
#include "com/text_convert.h"
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

// One report, shared by the caller and the thread that writes it: whoever lets go last deletes it,
// so a caller that stops waiting leaves the thread a whole request.
struct Report {
    WORD type = 0;
    DWORD id = 0;
    std::vector<std::wstring> texts;
    std::vector<const wchar_t*> strings;
    EventWriter writer = nullptr;
    DWORD result = ERROR_IO_PENDING;
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> references{2};

    void Write() noexcept
    {
        result = writer(type, id, strings.data(), static_cast<WORD>(strings.size()));
        (void)SetEvent(done.get());
    }
    void Release() noexcept
    {
        if (--references == 0)
            delete this;
    }
};

DWORD WINAPI ReportThread(LPVOID parameter) noexcept
{
    Report* report = static_cast<Report*>(parameter);
    report->Write();
    report->Release();
    return 0;
}

void LogFailure(DWORD id, DWORD error) noexcept
{
    LogMessage(0, "EventLog<ReportEvent> ==> [FAILED %lu] %lu", static_cast<unsigned long>(error),
               static_cast<unsigned long>(id));
}

} // namespace

void UseEventWriter(EventWriter writer) noexcept
{
    g_writer.store(writer);
}

bool ReportAddinEvent(WORD type, DWORD id, std::initializer_list<std::string_view> strings) noexcept
{
    Report* report = nullptr;
    try {
        report = new Report();
        report->type = type;
        report->id = id;
        const EventWriter writer = g_writer.load();
        report->writer = writer ? writer : WriteToEventLog;
        for (const std::string_view text : strings)
            report->texts.push_back(ToWide(text, CP_ACP));
        for (const std::wstring& text : report->texts)
            report->strings.push_back(text.c_str());
    } catch (...) {
        delete report;
        LogFailure(id, ERROR_OUTOFMEMORY);
        return false;
    }
    if (!report->done) {
        delete report;
        LogFailure(id, GetLastError());
        return false;
    }

    // The thread runs this module's code: were the caller to stop waiting, the module must stay
    // loaded until the thread is done (a failed pin leaves the risk as it was).
    UniqueHandle thread(CreateThread(nullptr, 0, ReportThread, report, 0, nullptr));
    if (!thread) {
        report->references = 1;
        report->Write(); // no thread to spare: written on the caller's, without its time limit
    } else if (WaitForSingleObject(report->done.get(), kEventReportTimeoutMs) != WAIT_OBJECT_0) {
        (void)PinModule();
        LogMessage(0, "EventLog<ReportEvent> ==> [TIMED OUT] %lu", static_cast<unsigned long>(id));
        report->Release();
        return false;
    }
    const DWORD result = report->result;
    report->Release();
    if (result != ERROR_SUCCESS) {
        LogFailure(id, result);
        return false;
    }
    return true;
}
