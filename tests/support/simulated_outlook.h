// The simulated Outlook (build/bin/sim/OUTLOOK.EXE) run as a child process, and its log.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

class SimulatedOutlook {
public:
    // Starts OUTLOOK.EXE with "--log <file in a temporary folder>" and the given arguments
    // (see tests/outlook_sim/outlook_sim.cpp for its options and steps).
    explicit SimulatedOutlook(const std::string& arguments);
    // The same, with the add-in's Event Log reports recorded: the simulator ("--record-events")
    // stands in for ReportEventW behind the add-in's imports and logs each report, which
    // Events() reads. (Wine's own ReportEventW stores nothing, and the debug channels it prints
    // on go to the Unix standard error that a child shares with its parent.)
    struct CaptureEvents {};
    SimulatedOutlook(const std::string& arguments, CaptureEvents)
        : SimulatedOutlook("--record-events " + arguments) {}
    // Terminates it if it is still running (only when a test failed to see it end).
    ~SimulatedOutlook();
    SimulatedOutlook(const SimulatedOutlook&) = delete;
    SimulatedOutlook& operator=(const SimulatedOutlook&) = delete;

    bool Started() const { return m_started; }
    // The exit code once the process has ended, or -1 when it still runs after a minute.
    long WaitForExit();
    // Waits up to 10 s for a line to appear in the log.
    bool WaitForLine(const std::string& line);
    // Waits up to timeoutMs until `done` holds for the log, woken by each change in the log's
    // folder and by the end of the process (after which the log changes no more); returns what
    // `done` last answered.
    bool WaitForLog(const std::function<bool(const std::vector<std::string>&)>& done, DWORD timeoutMs);
    std::vector<std::string> Log() const;

    // One Event Log report as Wine printed it: its type, its ID and its inserted strings.
    struct Event {
        unsigned type = 0;
        unsigned id = 0;
        std::vector<std::string> strings;
    };
    // The reports the child made so far (only with CaptureEvents), in order.
    std::vector<Event> Events() const;

private:
    ScopedTempDir m_dir;
    std::string m_log;
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line);
// The Session, Logoff and Quit calls of a run, as "call NAME ok thread=main" lines.
std::vector<std::string> OutlookCalls(const std::vector<std::string>& log);
