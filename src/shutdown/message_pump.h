// Keeps a thread without a message loop of its own (the shutdown worker's) responsive while it
// waits: its windows are painted and answer, messages sent to them from other threads are
// served, and its posted messages are taken. Runs on the waiting thread; never throws.
#pragma once

#include <windows.h>

// Dispatches every message of the calling thread for the given number of seconds, sleeping
// while the queue is empty. A WM_QUIT is removed without effect. Never throws.
void PumpMessages(DWORD seconds) noexcept;

// As PumpMessages, but returns true as soon as stopEvent (may be null) is signalled, and false
// when the time has run out. Never throws.
bool PumpMessagesUntil(DWORD seconds, HANDLE stopEvent) noexcept;

// The millisecond counter the pump measures its time with: GetTickCount, or a test's stand-in.
using TickSource = DWORD(WINAPI*)();

// The tick source the pumps use from now on; null puts GetTickCount back. Not while a pump
// runs. Never throws.
void UsePumpTickSource(TickSource tick) noexcept;

// What PumpMessagesUntilAny answers when its time has run out.
constexpr DWORD kPumpTimedOut = MAXDWORD;

// As PumpMessages for up to `milliseconds`, returning early with the index in `events` of the
// first one found signalled (null entries and handles that cannot be waited on are skipped;
// at most MAXIMUM_WAIT_OBJECTS - 1 are watched), or kPumpTimedOut. Never throws.
DWORD PumpMessagesUntilAny(DWORD milliseconds, const HANDLE* events, DWORD count) noexcept;
