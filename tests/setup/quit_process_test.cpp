// QuitProcessByName, run by the action runner in a process of its own against stand-in
// OUTLOOK.EXE processes (tests/shutdown/helpers/fake_app.cpp).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "setup/quit_process.h"
#include "setup_test_support.h"
#include "support/fake_app.h"

namespace {

using Lines = std::vector<std::string>;

// The messages a stand-in took at its own windows; those at the IME window that the platform
// may give its thread ("other") are left out.
Lines AtOwnWindows(const Lines& record)
{
    Lines own;
    for (const std::string& line : record)
        if (line.rfind("other ", 0) != 0)
            own.push_back(line);
    return own;
}

const Lines kBothQuits = {"top0 WM_QUIT", "child0 WM_QUIT"};

TEST(QuitProcessByName, NoOutlookRunningAsksNothing)
{
    // The same prompt shown by another process (this one, standing in for another test's runner)
    // is not the runner's: it is neither answered nor counted.
    const BystanderBox other("Error", kQuitPrompt);
    ASSERT_NE(other.window(), nullptr);
    ScopedTempDir dir;
    ActionRun run(dir, "quit 1 600000 600000");
    PromptAnswerer answerer(run, {IDOK});
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(answerer.Count(), 0);
    EXPECT_TRUE(other.StillShown()) << "another process's box was answered";
}

TEST(QuitProcessByName, OkSendsBothQuitMessagesAndWaitsUntilOutlookHasEnded)
{
    ScopedTempDir dir;
    // Acknowledges once it has taken two WM_QUIT at its windows, and keeps running.
    FakeApp outlook(FakeImage::Outlook, "A", "quit:2", dir);
    ASSERT_TRUE(outlook.ready());
    // The action marks the start of its wait for Outlook, and reports whether "ending", set just
    // before Outlook ends, was set when it returned.
    const std::string events = "VantrelTestQuit" + std::to_string(GetCurrentProcessId());
    const UniqueHandle waiting(CreateEventA(nullptr, TRUE, FALSE, (events + ".waiting").c_str()));
    const UniqueHandle ending(CreateEventA(nullptr, TRUE, FALSE, (events + ".ending").c_str()));
    ASSERT_TRUE(waiting && ending);
    ActionRun run(dir, "quit 1 600000 0 " + events);
    PromptAnswerer answerer(run, {IDOK});
    ASSERT_TRUE(run.started());

    ASSERT_TRUE(outlook.WaitForAck());
    EXPECT_EQ(AtOwnWindows(outlook.WrittenRecord()), kBothQuits);

    // Outlook still runs, so the action waits (for up to ten minutes here): only Outlook's end,
    // which comes after "ending", ends the wait.
    ASSERT_EQ(WaitForSingleObject(waiting.get(), kRunnerWaitMs), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the action did not wait for Outlook";
    SetEvent(ending.get());
    outlook.End();
    ASSERT_TRUE(run.Finish());
    EXPECT_NE(run.Result().find("\nevent set\n"), std::string::npos)
        << "the action returned before Outlook ended:\n" << run.Result();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(run.OwnQueue(), Lines{});
}

TEST(QuitProcessByName, CancelLeavesOutlookRunningAndUntouched)
{
    ScopedTempDir dir;
    FakeApp outlook(FakeImage::Outlook, "A", "pump", dir);
    ASSERT_TRUE(outlook.ready());
    ActionRun run(dir, "quit 1 600000 600000");
    PromptAnswerer answerer(run, {IDCANCEL});

    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(answerer.Count(), 1);
    // Captioned with the product's name in every language, never the platform's "Error".
    EXPECT_EQ(answerer.Caption(), "Vantrel");
    EXPECT_EQ(AtOwnWindows(outlook.Record()), Lines{});
    EXPECT_TRUE(outlook.Running());
}

struct TwoOutlooksCase {
    const char* name;
    std::vector<int> answers;
    int prompts;
    int closed;
};

void PrintTo(const TwoOutlooksCase& c, std::ostream* out)
{
    *out << c.name;
}

class QuitProcessByNameTwoOutlooks : public ::testing::TestWithParam<TwoOutlooksCase> {};

TEST_P(QuitProcessByNameTwoOutlooks, AsksAgainOnlyAfterCancel)
{
    const TwoOutlooksCase& c = GetParam();
    ScopedTempDir dir;
    FakeApp first(FakeImage::Outlook, "A", "pump", dir);
    FakeApp second(FakeImage::Outlook, "A", "pump", dir);
    ASSERT_TRUE(first.ready() && second.ready());
    ActionRun run(dir, "quit 1 0 0");
    PromptAnswerer answerer(run, c.answers);

    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(answerer.Count(), c.prompts);
    int closed = 0;
    for (FakeApp* outlook : {&first, &second}) {
        const Lines taken = AtOwnWindows(outlook->Record());
        EXPECT_TRUE(taken.empty() || taken == kBothQuits) << ::testing::PrintToString(taken);
        closed += taken.empty() ? 0 : 1;
    }
    EXPECT_EQ(closed, c.closed);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, QuitProcessByNameTwoOutlooks,
    ::testing::Values(TwoOutlooksCase{"OkForTheFirstClosesBothWithoutAskingAgain", {IDOK}, 1, 2},
                      TwoOutlooksCase{"CancelThenOk", {IDCANCEL, IDOK}, 2, 1},
                      TwoOutlooksCase{"CancelForBoth", {IDCANCEL, IDCANCEL}, 2, 0}),
    [](const ::testing::TestParamInfo<TwoOutlooksCase>& info) { return std::string(info.param.name); });

TEST(QuitProcessByName, WithoutPromptEveryWindowGetsQuitAndAChildlessOneNothingMore)
{
    ScopedTempDir dir;
    // Window 0 has no child: a post to its null child would reach the runner's own queue.
    FakeApp outlook(FakeImage::Outlook, "aA", "pump", dir);
    ASSERT_TRUE(outlook.ready());
    ActionRun run(dir, "quit 0 0 0");
    PromptAnswerer answerer(run, {});

    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(answerer.Count(), 0);
    EXPECT_EQ(AtOwnWindows(outlook.Record()), (Lines{"top0 WM_QUIT", "top1 WM_QUIT", "child1 WM_QUIT"}));
    EXPECT_EQ(run.OwnQueue(), Lines{});
}

} // namespace

namespace {

LANGID g_windowsLanguage = 1033;
LANGID WINAPI WindowsLanguageStandIn()
{
    return g_windowsLanguage;
}

// Windows' language comes from the stand-in while a test of this fixture runs.
class QuitPrompt : public ::testing::Test {
protected:
    void SetUp() override { UseWindowsLanguageSource(WindowsLanguageStandIn); }
    void TearDown() override { UseWindowsLanguageSource(nullptr); }
};

// The installer actions have no Office to ask: the prompt follows the user's UI language.
TEST_F(QuitPrompt, PromptIsInTheUsersUiLanguage)
{
    const struct {
        LANGID windows;
        const wchar_t* prompt;
    } cases[] = {
        {1036, L"Microsoft Outlook est en cours d'ex\u00E9cution. Cliquez sur OK pour fermer Outlook."},
        {3082, L"Microsoft Outlook se est\u00E1 ejecutando. Haga clic en Aceptar para cerrar Outlook."},
        {2052, L"Microsoft Outlook \u6B63\u5728\u8FD0\u884C\u3002\u5355\u51FB\u201C\u786E\u5B9A\u201D\u5173\u95ED Outlook\u3002"},
        {1043, L"Microsoft Outlook is currently running. Click OK to close Outlook."},
        {1033, L"Microsoft Outlook is currently running. Click OK to close Outlook."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        g_windowsLanguage = c.windows;
        EXPECT_EQ(QuitPromptText(), c.prompt);
    }
}

} // namespace
