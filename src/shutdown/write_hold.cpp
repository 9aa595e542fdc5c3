#include "shutdown/write_hold.h"

#include <algorithm>

#include "log/log_file.h"
#include "shutdown/message_pump.h"
#include "shutdown/shutdown_owner.h"

namespace {

constexpr int kQuietSamplesNeeded = 2;

// Dispatches the thread's messages until the monotonic clock reaches `until`; true when `stop`
// (may be null) was signalled first.
bool PumpUntil(ULONGLONG until, HANDLE stop)
{
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(until - now, kPumpTimedOut - 1));
        if (PumpMessagesUntilAny(wait, &stop, 1) == 0)
            return true;
    }
}

} // namespace

WriteHold::WriteHold(const std::vector<StoreFile>& stores, int boundSeconds)
    : m_watch(stores), m_boundSeconds(boundSeconds)
{
}

void WriteHold::Sample()
{
    SampleAt(GetTickCount64());
}

void WriteHold::SampleAt(ULONGLONG now)
{
    m_lastSampleAt = now;
    if (m_watch.Sample()) {
        m_quietSamples = 0;
        return;
    }
    ++m_quietSamples;
    LogMessage(0, "ShutdownThread<WaitForWrites> ==> [QUIET %d]", m_quietSamples);
}

bool WriteHold::QuietEnough(ULONGLONG closedAt) const
{
    return m_quietSamples >= kQuietSamplesNeeded && m_lastSampleAt >= closedAt + kQuietAfterCloseMs;
}

HoldEnd WriteHold::Wait(const ShutdownOwner& owner, HANDLE stop)
{
    const ULONGLONG closedAt = GetTickCount64();
    const ULONGLONG deadline = closedAt + static_cast<ULONGLONG>(m_boundSeconds) * 1000;
    HoldEnd end = HoldEnd::Quiet;
    for (;;) {
        if (!owner.IsRunning()) {
            end = HoldEnd::Released;
            break;
        }
        if (QuietEnough(closedAt))
            break;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            end = HoldEnd::Bound;
            break;
        }
        // The first sample after the close messages is taken a full second after them.
        const ULONGLONG next = std::max(now + kSampleSpacingMs, closedAt + kQuietAfterCloseMs);
        // A stop is read from the run state, which the owner changes before it signals. A stop
        // that is signalled while the run is still on must not turn this loop into a spin of
        // samples: the rest of the step is then waited without it.
        if (PumpUntil(std::min(next, deadline), stop) && owner.IsRunning())
            (void)PumpUntil(std::min(next, deadline), nullptr);
        if (owner.IsRunning())
            SampleAt(GetTickCount64());
    }
    m_extraSeconds = static_cast<int>((GetTickCount64() - closedAt) / 1000);
    switch (end) {
    case HoldEnd::Quiet:
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [ENDED] quiet, %d s after the wind-down", m_extraSeconds);
        break;
    case HoldEnd::Bound:
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [ENDED] the longest wait of %d s ran out", m_boundSeconds);
        break;
    case HoldEnd::Released:
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [ENDED] add-in released, %d s after the wind-down",
                   m_extraSeconds);
        break;
    }
    return end;
}
