#include "shutdown/shutdown_reports.h"

#include <cstdio>

#include "log/event_log.h"
#include "log/log_file.h"
#include "shutdown/write_hold.h"

namespace {

// Writes the entry that `report` makes. Its texts are made in memory: without memory for them
// the entry is left out, and the shutdown goes on.
template <typename Report>
void ReportGuarded(Report report) noexcept
{
    try {
        report();
    } catch (...) {
        // No memory for the entry's texts: it is left out, the shutdown goes on.
    }
}

const char* VersionText(const std::string& version)
{
    return version.empty() ? "unknown" : version.c_str();
}

// Whole seconds since `since`, as text for an entry.
std::string SecondsSince(ULONGLONG since)
{
    return std::to_string((GetTickCount64() - since) / 1000);
}

// The hold's warning when its bound ran out: the file last seen changing, or, with none seen,
// that the write count alone saw the writes.
void ReportBoundRanOut(const WriteHold& hold)
{
    const std::wstring& file = hold.LastChanged();
    const std::wstring seconds = std::to_wstring(hold.BoundSeconds());
    if (file.empty())
        (void)ReportAddinEventW(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_WRITES_COUNTED_NOT_FINISHED, {seconds},
                                kEventReportTimeoutMs);
    else
        (void)ReportAddinEventW(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_WRITES_NOT_FINISHED, {file, seconds},
                                kEventReportTimeoutMs);
}

} // namespace

void ReportLetGo(int delay, ULONGLONG askedAt, const std::string& version) noexcept
{
    ReportGuarded([&] {
        (void)ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_LET_GO,
                               {std::to_string(delay), SecondsSince(askedAt), VersionText(version)},
                               kEventReportOutlookWaitMs);
    });
}

void ReportEnd(int delay, ULONGLONG askedAt, const std::string& version, const WriteHold* hold,
               bool boundRanOut) noexcept
{
    ReportGuarded([&] {
        (void)ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_ENDED,
                               {std::to_string(delay), SecondsSince(askedAt), VersionText(version),
                                std::to_string(hold ? hold->ExtraSeconds() : 0)},
                               kEventReportTimeoutMs);
        if (hold && boundRanOut)
            ReportBoundRanOut(*hold);
    });
}

void ReportTerminationFailed(DWORD error, const std::string& version) noexcept
{
    LogMessage(0, "ShutdownThread<Terminate> ==> [FAILED %lu]", static_cast<unsigned long>(error));
    ReportGuarded([&] {
        (void)ReportAddinEvent(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_TERMINATION_FAILED,
                               {std::to_string(error), VersionText(version)}, kEventReportTimeoutMs);
    });
}

void ReportFailedCall(const char* call, HRESULT hr, HANDLE stop) noexcept
{
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    (void)ReportAddinEvent(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_OUTLOOK_CALL_FAILED, {call ? call : "(none)", code},
                           kEventReportTimeoutMs, stop);
}
