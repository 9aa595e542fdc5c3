// Entries in the Windows Event Log: the Application log, source "Vantrel", whose texts are the
// message table compiled into Vantrel.dll (vantrel_events.h, generated from
// src/server/res/vantrel_events.mc, gives the IDs). An administrator sees there, across
// machines, what the add-in did. Runs on any thread; nothing here throws.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string_view>

#include "vantrel_events.h"

// The event source, as the registration writes it under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
constexpr wchar_t kEventSourceName[] = L"Vantrel";

// How long a report may hold its caller. The report runs on a thread of its own: the event log
// service answers in milliseconds, but a service that does not answer must not hold the shutdown
// worker (or Outlook's thread) with it; the caller goes on without the event after this long.
constexpr DWORD kEventReportTimeoutMs = 5000;

// The function that writes one event: registers the source, calls ReportEventW with the type,
// the ID and the inserted strings (%1, %2, ... of the message), and deregisters. Answers
// ERROR_SUCCESS or the error. Tests put a stand-in behind it.
using EventWriter = DWORD (*)(WORD type, DWORD id, const wchar_t* const* strings, WORD count) noexcept;

// The writer used from now on; null puts the real one back. Not while a report is running.
void UseEventWriter(EventWriter writer) noexcept;

// Writes one event of `type` (EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or
// EVENTLOG_ERROR_TYPE) with the inserted strings, given in the ANSI code page. Waits for the
// write at most kEventReportTimeoutMs. A write that fails or takes longer is logged to the log
// file ("EventLog<ReportEvent> ==> [FAILED ...]" or "[TIMED OUT]") and otherwise ignored: an
// event never fails the caller's work. True when the event was written.
bool ReportAddinEvent(WORD type, DWORD id, std::initializer_list<std::string_view> strings) noexcept;
