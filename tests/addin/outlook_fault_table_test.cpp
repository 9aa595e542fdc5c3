// Every Outlook call of the watcher and the worker failing the ways a real Outlook fails
// (a plain failure, a disconnected or crashed Outlook, an Outlook too busy to answer) or
// answering with nothing: no crash, no hang, and the outcome the add-in is built for.
#include "addin_fixture.h"

#include <functional>

#include "support/pump_until.h"

namespace {

using Lines = std::vector<std::string>;

enum class Target { Application, Explorers, Inspectors, NameSpace };

enum class Outcome {
    None,           // the call yields nothing to be empty (a method)
    WatcherGivesUp, // logged; the watcher stays subscribed and no shutdown starts
    RunEnds,        // the worker ends at the failed call; Outlook is not ended
    RunGoesOn,      // the worker asks Outlook to quit and counts down
};

struct CallRow {
    const char* call; // the member, as the fake answers it
    Target target;
    Outcome onFailure;
    Lines callsOnFailure; // the worker's Session/Logoff/Quit calls, with their results
    Outcome onEmpty;
    Lines callsOnEmpty;
};

const Lines kFullRun = {"Session ok", "Session ok", "Logoff ok", "Quit ok"};

const CallRow kRows[] = {
    {"Version", Target::Application, Outcome::WatcherGivesUp, {}, Outcome::RunGoesOn, kFullRun},
    {"Count", Target::Explorers, Outcome::WatcherGivesUp, {}, Outcome::WatcherGivesUp, {}},
    {"Inspectors", Target::Application, Outcome::WatcherGivesUp, {}, Outcome::WatcherGivesUp, {}},
    {"Count", Target::Inspectors, Outcome::WatcherGivesUp, {}, Outcome::WatcherGivesUp, {}},
    {"Session", Target::Application, Outcome::RunEnds, {"Session failed"}, Outcome::RunGoesOn,
     {"Session ok", "Quit ok"}},
    {"Logoff", Target::NameSpace, Outcome::RunEnds, {"Session ok", "Session ok", "Logoff failed"}, Outcome::None,
     {}},
    {"Quit", Target::Application, Outcome::RunEnds, {"Session ok", "Session ok", "Logoff ok", "Quit failed"},
     Outcome::None, {}},
};

struct Failure {
    HRESULT hr;
    const char* name;
};

const Failure kFailures[] = {
    {E_FAIL, "E_FAIL"},
    {RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED"},
    {RPC_E_CALL_REJECTED, "RPC_E_CALL_REJECTED"},
    {RPC_E_SERVERFAULT, "RPC_E_SERVERFAULT"},
    // "The operation was cancelled": a failure like any other, never to be taken for the stop
    // that ends a waiting worker.
    {HRESULT_FROM_WIN32(ERROR_CANCELLED), "ERROR_CANCELLED"},
};

struct FaultCase {
    const CallRow* row;
    bool empty;
    HRESULT hr;
    std::string name;
    Outcome outcome() const { return empty ? row->onEmpty : row->onFailure; }
    const Lines& calls() const { return empty ? row->callsOnEmpty : row->callsOnFailure; }
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.name;
}

std::vector<FaultCase> AllCases()
{
    std::vector<FaultCase> cases;
    for (const CallRow& row : kRows) {
        const std::string call = std::string(row.target == Target::Inspectors ? "Inspectors_" : "") + row.call;
        for (const Failure& failure : kFailures)
            cases.push_back({&row, false, failure.hr, call + "_" + failure.name});
        if (row.onEmpty != Outcome::None)
            cases.push_back({&row, true, S_OK, call + "_Empty"});
    }
    return cases;
}

class OutlookFaults : public AddinTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    fake::FakeObject& TargetObject(Target target)
    {
        switch (target) {
        case Target::Explorers:
            return m_app->ExplorersObject();
        case Target::Inspectors:
            return m_app->InspectorsObject();
        case Target::NameSpace:
            return m_app->NameSpaceObject();
        default:
            return *m_app.Get();
        }
    }

    // The worker's calls on Outlook as "Name ok" or "Name failed", in order.
    Lines WorkerCalls() const
    {
        Lines calls;
        for (const fake::CallRecord& record : m_app->Log().Records())
            if (record.name == "Session" || record.name == "Logoff" || record.name == "Quit")
                calls.push_back(record.name + (SUCCEEDED(record.result) ? " ok" : " failed"));
        return calls;
    }

    // Serves this thread's messages (Outlook's, for the worker's calls) until `done` is true or
    // the worker has ended; false after 30 s.
    bool ServeUntil(const std::function<bool()>& done)
    {
        HANDLE worker = m_connect->WorkerThread();
        PumpUntil([&] { return done() || IsSignalled(worker); }, 30000, worker);
        return done();
    }
};

TEST_P(OutlookFaults, NoCrashNoHangAndTheOutcomeOfTheCall)
{
    const FaultCase& c = GetParam();
    StartAddin(1);
    fake::FakeObject& target = TargetObject(c.row->target);
    if (c.empty)
        target.ReturnNothing(c.row->call);
    else
        target.FailCall(c.row->call, c.hr);
    fake::ComPtr<fake::FakeExplorer> closing(ExplorerAt(0));

    m_app->CloseExplorer(closing.Get());

    switch (c.outcome()) {
    case Outcome::WatcherGivesUp:
        EXPECT_EQ(AddinLogMessages().back(), "CExplEvent<Event_Explorer_Close>::Exception");
        EXPECT_EQ(closing->CloseSinks(), 1u) << "the watcher keeps its subscription";
        EXPECT_EQ(AppSinks(), 1u) << "no shutdown";
        EXPECT_EQ(m_connect->WorkerThread(), nullptr);
        // Unsubscribe without a worker, so that the release below is the final one.
        target.Reset(c.row->call);
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
        m_ext->OnBeginShutdown(nullptr);
        break;
    case Outcome::RunEnds: {
        ASSERT_NE(m_connect->WorkerThread(), nullptr);
        HANDLE worker = m_connect->WorkerThread();
        ASSERT_TRUE(ServeUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }))
            << "the worker did not end";
        EXPECT_TRUE(m_connect->IsRunning()) << "the run ended by itself, with the add-in still connected";
        EXPECT_EQ(WorkerCalls(), c.calls());
        break;
    }
    case Outcome::RunGoesOn:
        ASSERT_NE(m_connect->WorkerThread(), nullptr);
        ASSERT_TRUE(ServeUntil([this] { return m_app->QuitCalls() > 0; })) << "Quit was never called";
        EXPECT_EQ(WorkerCalls(), c.calls());
        // Outlook lets go of the add-in during the countdown: the worker stops and this
        // process is not ended.
        break;
    case Outcome::None:
        FAIL();
    }
    ReleaseAddin();
}

INSTANTIATE_TEST_SUITE_P(EachCallEachFault, OutlookFaults, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

} // namespace
