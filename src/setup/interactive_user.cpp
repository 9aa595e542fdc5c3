#include "setup/interactive_user.h"

#include "win32/raii.h"

namespace {

bool TokenIsLocalSystem() noexcept
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return true;
    // TOKEN_USER and the SID it points at, with room to spare (a SID takes at most 68 bytes).
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size))
        return true;
    return IsWellKnownSid(reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

DWORD ProcessSessionId() noexcept
{
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
}

} // namespace

SessionFacts SystemSessionFacts() noexcept
{
    return SessionFacts{TokenIsLocalSystem, ProcessSessionId};
}

bool RunsForInteractiveUser(const SessionFacts& facts) noexcept
{
    return !facts.isLocalSystem() && facts.sessionId() != 0;
}
