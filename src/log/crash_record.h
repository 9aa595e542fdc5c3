// The trace an unhandled exception leaves before Vantrel's exception filters end Outlook's
// process: one line appended to Vantrel.crash.log beside the log, through a file handle opened at
// load, and reported to the Event Log at the next load (event VANTREL_EVENT_PREVIOUS_RUN_CRASHED).
//
// Inside the filter the process may be in any state: its heap corrupt, a lock held by the thread
// that faulted or by one that will never run again. WriteCrashRecord therefore allocates nothing,
// takes no lock and calls nothing that may take one: it formats into a buffer on its stack, finds
// the faulting module with VirtualQuery and the module's own headers (the loader, whose functions
// take the loader lock, is not asked), and writes with one WriteFile on the handle opened in
// advance. The Event Log, which would mean a call into the event log service from inside the
// filter, is written at the next load instead, in an ordinary context.
//
// Only the first fault of a process is recorded: a second thread faulting meanwhile waits (about
// a second) for the first one's line before its filter lets the process end. A record is emptied
// only by the thread that wrote it to the Event Log, once that write succeeded; one that cannot
// be read is kept for a later load, and a file whose text is not a record is reported as such,
// never echoed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The file's name, in the log's folder.
constexpr wchar_t kCrashRecordFileName[] = L"Vantrel.crash.log";

// What the Event Log is told for a record file whose text is not a record.
constexpr char kUnreadableCrashRecord[] = "(the record left by that run could not be read)";

// How long a second faulting thread waits for the first one's record.
constexpr DWORD kCrashRecordWaitMs = 1000;

// At load, on Outlook's thread, with the log's folder (a full wide path): a record the previous
// run left there is reported to the Event Log, then the file is kept open for appending until the
// process ends. A folder already prepared is left as it is (Outlook may load the add-in again in
// the same run). Failures leave the filter without a record, nothing more. No-throw.
void PrepareCrashRecord(const std::wstring& folder) noexcept;

// Closes the file, once no filter of ours can run any more (the DLL's unload). No-throw.
void CloseCrashRecord() noexcept;

// From an exception filter: appends the record of this exception (the first one only), as
// FormatCrashRecord writes it. Does nothing before PrepareCrashRecord. Allocates nothing, takes no
// lock. No-throw.
void WriteCrashRecord(const EXCEPTION_POINTERS* info) noexcept;

// The record of an exception, as one line ending in CR LF: the time (UTC), the exception code, the
// module and offset of the faulting address, the thread and the process, for example
// "2024-05-02 09:41:07 UTC exception 0xC0000005 at OUTLOOK.EXE+0x1A2B thread 1234 process 5678"
// (crash_record_form.h). No absolute address is written: a module without a usable name in its
// export directory, other than the process's executable whose name PrepareCrashRecord keeps, is
// "<unnamed image>", and an address in no image is "<no image>" alone. Writes at most size bytes
// (no NUL) and answers how many. Allocates nothing, takes no lock. No-throw.
std::size_t FormatCrashRecord(const EXCEPTION_RECORD& record, char* buffer, std::size_t size) noexcept;

// What the filter calls to write its line and what a second faulting thread waits with; tests
// stand in for them to hold the first write and see the second thread wait. Null members (or a
// null pointer) put the real WriteFile and WaitForSingleObject back.
struct CrashRecordCalls {
    BOOL(WINAPI* write)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    DWORD(WINAPI* wait)(HANDLE handle, DWORD milliseconds);
};
void UseCrashRecordCalls(const CrashRecordCalls* calls) noexcept;

// The process-wide exception filter that the module installs at load and the shutdown worker
// once more when it starts (after any filter Outlook set meanwhile): any exception that no code
// handles, on any thread of the host, ends the process at once, without the system's error
// report or a hang; the one trace left is the crash record, written without allocating or
// locking. No-throw.
LONG WINAPI VantrelUnhandledExceptionFilter(EXCEPTION_POINTERS* info) noexcept;
