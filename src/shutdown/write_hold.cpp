#include "shutdown/write_hold.h"

#include "log/log_file.h"
#include "shutdown/message_pump.h"
#include "shutdown/shutdown_owner.h"

namespace {

constexpr int kQuietSamplesNeeded = 2;

} // namespace

WriteHold::WriteHold(const std::vector<std::wstring>& paths, int boundSeconds)
    : m_watch(paths), m_boundSeconds(boundSeconds)
{
}

void WriteHold::Sample()
{
    if (m_watch.Sample()) {
        m_quietSamples = 0;
        return;
    }
    ++m_quietSamples;
    if (m_quietSamples <= kQuietSamplesNeeded)
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [QUIET %d]", m_quietSamples);
}

HoldEnd WriteHold::Wait(const ShutdownOwner& owner, HANDLE stop)
{
    HoldEnd end = HoldEnd::Quiet;
    for (;;) {
        if (!owner.IsRunning()) {
            end = HoldEnd::Released;
            break;
        }
        if (m_quietSamples >= kQuietSamplesNeeded)
            break;
        if (m_extraSeconds >= m_boundSeconds) {
            end = HoldEnd::Bound;
            break;
        }
        (void)PumpMessagesUntil(1, stop); // a stop is seen in the running flag
        ++m_extraSeconds;
        if (owner.IsRunning())
            Sample();
    }
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
