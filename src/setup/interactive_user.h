// Whether the installer action runs for a user who can see and answer a prompt. A deployment
// tool that runs msiexec as LocalSystem runs it in session 0, whose desktop nobody sees: a prompt
// there would keep msiexec waiting for ever. Installer's thread (any thread); never throws.
#pragma once

#include <windows.h>

// What the decision reads from the system, so that a test can put stand-ins in its place
// (Wine runs nothing as LocalSystem and everything in session 1).
struct SessionFacts {
    // True when the process's token is LocalSystem's (or cannot be read: nobody is known to be
    // there).
    bool (*isLocalSystem)() noexcept;
    // The process's Terminal Services session, or 0 when it cannot be read.
    DWORD (*sessionId)() noexcept;
};
// The facts of this process: its token's user and ProcessIdToSessionId.
SessionFacts SystemSessionFacts() noexcept;

// True when the process runs neither as LocalSystem nor in session 0.
bool RunsForInteractiveUser(const SessionFacts& facts) noexcept;
