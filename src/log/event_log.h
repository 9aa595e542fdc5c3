// Entries in the Windows Event Log: the Application log, source "Vantrel", whose texts are the
// message table of VantrelEvents.dll beside Vantrel.dll (vantrel_events.h, generated from
// src/server/res/vantrel_events.mc, gives the IDs). An administrator sees there, across
// machines, what the add-in did. Runs on any thread; nothing here throws.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string_view>

#include "vantrel_events.h"

// The event source, as the registration writes it under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
constexpr wchar_t kEventSourceName[] = L"Vantrel";

// The longest a caller waits for its event: the event log service answers in milliseconds, but
// one that does not answer must not hold the shutdown worker with it.
constexpr DWORD kEventReportTimeoutMs = 5000;
// The same where the wait holds Outlook's own thread (its start-up, or its final release waiting
// for the worker): long enough for a service that answers, short enough to pass unnoticed when
// it does not.
constexpr DWORD kEventReportOutlookWaitMs = 1000;

// The function that writes one event: registers the source, calls ReportEventW with the type,
// the ID and the inserted strings (%1, %2, ... of the message), and deregisters. Answers
// ERROR_SUCCESS or the error. Tests put a stand-in behind it.
using EventWriter = DWORD (*)(WORD type, DWORD id, const wchar_t* const* strings, WORD count) noexcept;

// The writer used from now on; null puts the real one back. Not while a report is running.
void UseEventWriter(EventWriter writer) noexcept;

// Writes one event of `type` (EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or
// EVENTLOG_ERROR_TYPE) with the inserted strings, given in the ANSI code page, on a thread of its
// own that keeps this module loaded until the write is done. The caller waits for the write at
// most `waitMs` (0: not at all) and only while `stopWaiting` (an event, may be null) is not
// signalled. A write that fails is logged to the log file ("EventLog<ReportEvent> ==> [FAILED
// ...]") and otherwise ignored: an event never fails the caller's work. One that outlasts the wait
// is logged "[TIMED OUT]" and goes on; one with no thread to run on is logged "[FAILED ...]" and
// dropped, never written on the caller's thread. True when the event was written within the wait,
// or, with no wait, handed to its thread. `afterWritten`, when given, runs on the writing thread
// once the write succeeded, whether or not the caller still waits (it must not throw).
bool ReportAddinEvent(WORD type, DWORD id, std::initializer_list<std::string_view> strings, DWORD waitMs = 0,
                      HANDLE stopWaiting = nullptr, std::function<void()> afterWritten = nullptr) noexcept;
// As ReportAddinEvent, with the inserted strings in UTF-16: for texts from the user's machine
// (file paths) that the ANSI code page may not hold.
bool ReportAddinEventW(WORD type, DWORD id, std::initializer_list<std::wstring_view> strings, DWORD waitMs = 0,
                       HANDLE stopWaiting = nullptr) noexcept;
