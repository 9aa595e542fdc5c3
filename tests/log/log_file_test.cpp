#include <gtest/gtest.h>

#include <atomic>

#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "win32/raii.h"
#include "win32/ui_language.h"
#include "log/crash_record.h"
#include "log/profile_file.h"
#include "log/profile_path.h"
#include "win32/text_convert.h"
#include "log/event_log.h"
#include "log/info_dialog.h"
#include "log/log_file.h"
#include "resource_ids/string_ids.h"
#include "support/test_support.h"

namespace {

// A logger writing into a fresh temporary folder; the instance is gone again afterwards.
class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogFile::DestroyInstance();
        m_path = m_dir.file("Vantrel.log");
        LogFile* log = LogFile::GetInstance();
        log->SetLogPath(Wide(m_path).c_str());
        log->SetOptions(TRUE, TRUE);
    }
    void TearDown() override
    {
        LogFile::DestroyInstance();
        UseLinkGuard(nullptr);
    }

    std::string Content() const { return ReadWholeFile(m_path); }

    ScopedTempDir m_dir;
    std::string m_path;
};

const std::regex kStampedLine(R"re(\("0","([^"]+)"\): (.*))re");

TEST_F(LogFileTest, WritesPlainStampedLinesWithCrLf)
{
    LogMessage(0, "Connect<FinalConstruct> ==> [HRES %08x]", 0);
    LogMessage(0, "Connect<OnConnection> ==> Connecting ... ");

    const std::string content = Content();
    const size_t first = content.find("\r\n");
    ASSERT_NE(first, std::string::npos);
    std::smatch m;
    const std::string line1 = content.substr(0, first);
    ASSERT_TRUE(std::regex_match(line1, m, kStampedLine)) << line1;
    EXPECT_NE(m[1].str(), "Invalid DateTime");
    EXPECT_EQ(m[2].str(), "Connect<FinalConstruct> ==> [HRES 00000000]");

    const std::string line2 = content.substr(first + 2);
    EXPECT_TRUE(std::regex_match(line2, m, std::regex(R"re(\("0","[^"]+"\): Connect<OnConnection> ==> Connecting \.\.\. \r\n)re")))
        << line2;
}

TEST_F(LogFileTest, TimeStampIsTheUsersRenderingOfNow)
{
    const std::string stamp = LogTimeStamp();
    EXPECT_NE(stamp, "Invalid DateTime");
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_NE(stamp.find(std::to_string(now.wYear)), std::string::npos) << stamp;
}

struct FormatCase {
    BOOL xml;
    BOOL stamp;
    const char* pattern;
};

TEST_F(LogFileTest, FourLineFormats)
{
    const FormatCase cases[] = {
        {FALSE, TRUE, R"re(\("7","[^"]+"\): hello\r\n)re"},
        {FALSE, FALSE, R"re(\("7",""\): hello\r\n)re"},
        {TRUE, TRUE, R"re(<C>7</C><T>[^<]+</T><M>hello</M>\r\n)re"},
        {TRUE, FALSE, R"re(<C>C7</C><M>hello</M>\r\n)re"},
    };
    for (const FormatCase& c : cases) {
        DeleteFileA(m_path.c_str());
        LogFile* log = LogFile::GetInstance();
        log->SetXmlFormat(c.xml);
        log->SetOptions(TRUE, c.stamp);
        LogMessage(7, "hello");
        EXPECT_TRUE(std::regex_match(Content(), std::regex(c.pattern))) << Content();
    }
}

TEST_F(LogFileTest, LevelBelowMinimumAndDisabledLoggerWriteNothing)
{
    LogFile::GetInstance()->SetMinLevel(5);
    LogMessage(4, "dropped");
    LogMessage(0xFFFFFFFFu, "kept"); // unsigned comparison: the largest level passes
    EXPECT_EQ(Content().find("dropped"), std::string::npos);
    EXPECT_NE(Content().find("(\"-1\","), std::string::npos) << "level is printed signed";

    LogFile::GetInstance()->SetOptions(FALSE, TRUE);
    LogMessage(9, "disabled");
    EXPECT_EQ(Content().find("disabled"), std::string::npos);
}

TEST_F(LogFileTest, MessageTextIsWrittenAsItIs)
{
    LogMessage(0, "%s", "C:\\Program%20Files\\%d %s %%");
    LogMessage(0, "first\nsecond");
    LogMessage(0, nullptr);

    const std::string content = Content();
    EXPECT_NE(content.find("): C:\\Program%20Files\\%d %s %%\r\n"), std::string::npos) << content;
    EXPECT_NE(content.find("): first\r\nsecond\r\n"), std::string::npos) << content;
    EXPECT_EQ(content.substr(content.size() - 5), "): \r\n") << "a null format gives an empty message";
}

TEST_F(LogFileTest, LongMessageIsNotCut)
{
    const std::string text(100000, 'x');
    LogMessage(0, "%s", text.c_str());
    EXPECT_NE(Content().find(text + "\r\n"), std::string::npos);
}

TEST_F(LogFileTest, LinesAreDroppedWhileAnotherWriterHoldsTheFile)
{
    LogMessage(0, "before");
    {
        HANDLE other = CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        LogMessage(0, "while locked");
        CloseHandle(other);
    }
    LogMessage(0, "after");
    const std::string content = Content();
    EXPECT_NE(content.find("before"), std::string::npos);
    EXPECT_EQ(content.find("while locked"), std::string::npos);
    EXPECT_NE(content.find("after"), std::string::npos);
}

TEST_F(LogFileTest, LinesFromSeveralThreadsAtOnceAreAllWritten)
{
    // Each line opens the file sharing no writing: the add-in's own threads take turns rather
    // than fail each other's open.
    constexpr int kLines = 300;
    const auto writer = [](const char* name) {
        for (int i = 0; i < kLines; ++i)
            LogMessage(0, "%s %d", name, i);
    };
    std::thread first(writer, "first");
    std::thread second(writer, "second");
    first.join();
    second.join();
    const std::string content = Content();
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2 * kLines);
}

TEST_F(LogFileTest, OthersMayReadTheFileWhileTheLoggerIsIdle)
{
    LogMessage(0, "line");
    HANDLE reader = CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    LogMessage(0, "written while a reader has it open");
    CloseHandle(reader);
    EXPECT_NE(Content().find("written while a reader"), std::string::npos);
}

TEST_F(LogFileTest, NothingIsWrittenAfterDestroyInstance)
{
    LogMessage(0, "last");
    LogFile::DestroyInstance();
    LogMessage(0, "dropped");
    EXPECT_EQ(LogFile::Existing(), nullptr);
    EXPECT_EQ(Content().find("dropped"), std::string::npos);
}

TEST_F(LogFileTest, MissingFolderDropsLinesQuietly)
{
    LogFile::GetInstance()->SetLogPath(Wide(m_dir.path() + "\\missing\\Vantrel.log").c_str());
    LogMessage(0, "nowhere");
    EXPECT_FALSE(FileExists(m_dir.path() + "\\missing"));
}

// The log's set-up in the user's profile; the shell's query and the link checks are the real
// ones again after each test.
class LogSetup : public ::testing::Test {
protected:
    void TearDown() override
    {
        UseKnownFolderQuery(nullptr);
        UseLinkGuard(nullptr);
    }
};

// An elevated process's checks, with nothing that counts as a link.
const LinkGuard kElevatedGuard = {[]() noexcept { return true; }, [](HANDLE) noexcept { return false; }};

TEST_F(LogFileTest, TheFolderIsHeldFromTheFirstLineWhileTheLogItselfMayGo)
{
    // Elevated, the log's folder stays held between lines: it cannot be renamed (nor deleted),
    // so no link can take its place. The log in it may be deleted or moved aside between two
    // lines, and the next line begins a new one. Once the log is closed, the folder is free.
    UseLinkGuard(&kElevatedGuard); // read at the first line
    const std::string folder = m_dir.path();
    const std::string moved = folder + "-moved";
    LogMessage(0, "first");
    EXPECT_FALSE(MoveFileA(folder.c_str(), moved.c_str())) << "the folder was let go after the line";

    ASSERT_TRUE(DeleteFileA(m_path.c_str())) << GetLastError();
    LogMessage(0, "second");
    ASSERT_TRUE(MoveFileA(m_path.c_str(), (m_path + ".old").c_str())) << GetLastError();
    LogMessage(0, "third");
    EXPECT_EQ(ReadWholeFile(m_path + ".old").find("first"), std::string::npos);
    EXPECT_NE(ReadWholeFile(m_path + ".old").find("): second\r\n"), std::string::npos);
    EXPECT_EQ(Content().find("second"), std::string::npos) << Content();
    EXPECT_NE(Content().find("): third\r\n"), std::string::npos) << Content();

    LogFile::DestroyInstance();
    ASSERT_TRUE(MoveFileA(folder.c_str(), moved.c_str())) << GetLastError();
    ASSERT_TRUE(MoveFileA(moved.c_str(), folder.c_str())) << GetLastError();
}

TEST_F(LogFileTest, AFolderThatCouldNotBeHeldIsTriedAgainAtTheNextLine)
{
    UseLinkGuard(&kElevatedGuard);
    const std::string folder = m_dir.path() + "\\later";
    LogFile::GetInstance()->SetLogPath(Wide(folder + "\\Vantrel.log").c_str());
    LogMessage(0, "nowhere");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    LogMessage(0, "found");
    const std::string content = ReadWholeFile(folder + "\\Vantrel.log");
    EXPECT_EQ(content.find("nowhere"), std::string::npos) << content;
    EXPECT_NE(content.find("): found\r\n"), std::string::npos) << content;
    LogFile::DestroyInstance();
}

std::string AppDataLogPath()
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return std::string(path) + "\\Vantrel\\Vantrel.log";
}

TEST_F(LogSetup, NoSetUpMeansNoInstanceAndNoFile)
{
    LogFile::DestroyInstance();
    DeleteFileA(AppDataLogPath().c_str());
    LogMessage(0, "nobody listens");
    EXPECT_EQ(LogFile::Existing(), nullptr);
    EXPECT_FALSE(FileExists(AppDataLogPath()));
}

TEST_F(LogSetup, SetUpEmptiesTheOldLogInTheApplicationDataFolder)
{
    LogFile::DestroyInstance();
    const std::string path = AppDataLogPath();
    DeleteTree(path.substr(0, path.rfind('\\')));

    ASSERT_NE(OpenAddinLog(), nullptr);
    LogMessage(0, "from the last run");
    ASSERT_TRUE(FileExists(path));

    ASSERT_NE(OpenAddinLog(), nullptr); // a second set-up reuses the instance and empties the file
    EXPECT_FALSE(FileExists(path));
    LogMessage(0, "fresh");
    const std::string content = ReadWholeFile(path);
    EXPECT_EQ(content.find("from the last run"), std::string::npos);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 1);
    LogFile::DestroyInstance();
}

// The shell's known-folder query as a test sets it: it hands out g_folder and answers
// g_folderAnswer.
std::wstring g_folder;
HRESULT g_folderAnswer = S_OK;
HRESULT WINAPI QueryTestFolder(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path)
{
    *path = static_cast<PWSTR>(CoTaskMemAlloc((g_folder.size() + 1) * sizeof(wchar_t)));
    g_folder.copy(*path, g_folder.size());
    (*path)[g_folder.size()] = L'\0';
    return g_folderAnswer;
}

// The log set up in the roaming folder that QueryTestFolder answers.
LogFile* OpenTestFolderLog()
{
    UseKnownFolderQuery(QueryTestFolder);
    return OpenAddinLog();
}

// Whether a failed join could have put a file where no file of the add-in belongs: in the current
// folder or at the root of the current drive.
bool AnyStrayFile()
{
    for (const wchar_t* stray : {L"Vantrel.log", L"Vantrel", L"Vantrel.previous.log", L"Vantrel.crash.log", L"\\Vantrel.log",
                                 L"\\Vantrel", L"\\Vantrel.crash.log", L"relative"})
        if (FileExists(std::wstring(stray)))
            return true;
    return false;
}

TEST_F(LogSetup, OnlyAFoundFullFolderOpensTheLog)
{
    // A failed query, and one answering what is not a full path (as a User Shell Folders value
    // may be written), leave the log closed: never a file relative to the current folder or at
    // a drive's root.
    ScopedTempDir dir;
    const struct {
        std::wstring folder;
        HRESULT answer;
        bool opens;
    } cases[] = {
        {Wide(dir.path()), S_OK, true},
        {Wide(dir.path()), E_FAIL, false},
        {Wide(dir.path()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), false},
        {L"", S_OK, false},
        {L"relative\\Roaming", S_OK, false},
        {L"\\Roaming", S_OK, false},
        {L"C:", S_OK, false},
    };
    for (const auto& c : cases) {
        LogFile::DestroyInstance();
        g_folder = c.folder;
        g_folderAnswer = c.answer;
        LogFile* log = OpenTestFolderLog();
        LogMessage(0, "line");
        EXPECT_EQ(log != nullptr, c.opens) << std::hex << c.answer;
        EXPECT_EQ(LogFile::Existing(), log) << std::hex << c.answer;
        EXPECT_EQ(FileExists(dir.file("Vantrel") + "\\Vantrel.log"), c.opens) << std::hex << c.answer;
        EXPECT_FALSE(AnyStrayFile());
        LogFile::DestroyInstance();
        DeleteTree(dir.file("Vantrel"));
    }
}

TEST_F(LogSetup, EachLoadKeepsTheRunBeforeAsThePreviousLog)
{
    LogFile::DestroyInstance();
    ScopedTempDir dir;
    g_folder = Wide(dir.path());
    g_folderAnswer = S_OK;
    const std::string log = dir.file("Vantrel") + "\\Vantrel.log";
    const std::string previous = dir.file("Vantrel") + "\\Vantrel.previous.log";

    ASSERT_NE(OpenTestFolderLog(), nullptr);
    EXPECT_FALSE(FileExists(previous)) << "no run before the first";
    LogMessage(0, "first run");
    ASSERT_NE(OpenTestFolderLog(), nullptr);
    LogMessage(0, "second run");
    EXPECT_NE(ReadWholeFile(previous).find("): first run\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(log).find("first run"), std::string::npos) << "the log itself begins empty";

    // A third load replaces the older previous log.
    ASSERT_NE(OpenTestFolderLog(), nullptr);
    const std::string kept = ReadWholeFile(previous);
    EXPECT_NE(kept.find("second run"), std::string::npos);
    EXPECT_EQ(kept.find("first run"), std::string::npos);
    LogFile::DestroyInstance();
}

// Two loads, with a line logged in each, and the crash record prepared beside the log: the files
// that one run leaves in the profile. The folder is the roaming folder's "Vantrel" folder.
void RunTwoLoads(LogFile* (*open)())
{
    LogFile::DestroyInstance();
    ASSERT_NE(open(), nullptr);
    LogMessage(0, "first run");
    LogFile* log = open();
    ASSERT_NE(log, nullptr);
    LogMessage(0, "second run");
    PrepareCrashRecord(ParentFolder(log->LogPath()));
    CloseCrashRecord();
    LogFile::DestroyInstance();
}

void ExpectTheRunsFilesIn(const std::wstring& folder)
{
    EXPECT_NE(ReadWholeFile(folder + L"\\Vantrel.log").find("): second run\r\n"), std::string::npos);
    EXPECT_NE(ReadWholeFile(folder + L"\\Vantrel.previous.log").find("): first run\r\n"), std::string::npos);
    EXPECT_TRUE(FileExists(folder + L"\\Vantrel.crash.log"));
    EXPECT_FALSE(AnyStrayFile());
}

LogFile* OpenUsualLog()
{
    return OpenAddinLog();
}


TEST_F(LogSetup, ARoamingFolderOutsideTheAnsiCodePageHoldsTheRunsFiles)
{
    // The user's roaming folder moved as Windows moves it for a user named so: the shell's own
    // query finds it, and every file of the run lands in it.
    const std::wstring user = L"C:\\users\\\u0141ukasz Ji\u0159\u00ed";
    const std::wstring roaming = user + L"\\AppData\\Roaming";
    {
        ScopedRoamingFolder moved(roaming);
        RunTwoLoads(OpenUsualLog);
    }
    ExpectTheRunsFilesIn(roaming + L"\\Vantrel");
    DeleteTree(user);
}

TEST_F(LogSetup, AFolderWhoseFilesPassMaxPathHoldsThemInTheLongForm)
{
    // A roaming folder that fits in MAX_PATH while the files' full paths do not: once with room
    // for the "Vantrel" folder in the short form, once without.
    for (const size_t length : {235u, 252u}) {
        ScopedTempDir dir;
        std::wstring folder = Wide(dir.path());
        while (folder.size() < length)
            folder += L"\\" + std::wstring(std::min<size_t>(40, length - folder.size() - 1), L'd');
        MakeFolders(L"\\\\?\\" + folder);
        ASSERT_TRUE(FileExists(L"\\\\?\\" + folder)) << folder.size();
        g_folder = folder;
        g_folderAnswer = S_OK;
        RunTwoLoads(OpenTestFolderLog);
        ExpectTheRunsFilesIn(L"\\\\?\\" + folder + L"\\Vantrel");
        DeleteTree(L"\\\\?\\" + Wide(dir.path()));
    }
}

// The link checks as a test stands in for them (Wine makes no link and reports every token as
// elevated): whether links are refused, and the one name that counts as a link.
bool g_elevated = false;
std::wstring g_linkName;
bool TestElevated() noexcept
{
    return g_elevated;
}
bool TestIsLink(HANDLE opened) noexcept
{
    wchar_t path[1024] = {};
    const DWORD length = GetFinalPathNameByHandleW(opened, path, 1024, 0);
    const std::wstring name = L"\\" + g_linkName;
    return length >= name.size() && length < 1024 && std::wstring(path + length - name.size()) == name;
}
const LinkGuard kTestGuard = {TestElevated, TestIsLink};

std::atomic<int> g_crashReports{0};
DWORD CountingWriter(WORD, DWORD id, const wchar_t* const*, WORD) noexcept
{
    if (id == VANTREL_EVENT_PREVIOUS_RUN_CRASHED)
        ++g_crashReports;
    return ERROR_SUCCESS;
}

TEST_F(LogSetup, AnElevatedOutlookRefusesALinkInItsFolder)
{
    // The folder or one of its files stood in for by a link that a process of the same user
    // planted: elevated, nothing is written through it, moved or deleted, and nothing is read
    // from it; not elevated, the user's own link is followed.
    const std::string oldRecord = "2024-05-02 09:41:07 UTC exception 0xC0000005 at OUTLOOK.EXE+0x1A2B thread 1 process 2\r\n";
    const struct {
        bool elevated;
        const wchar_t* link;
        bool logUsed;    // the old log moved aside and the new line written
        bool recordUsed; // the left record reported and emptied
    } cases[] = {
        {true, L"Vantrel", false, false},
        {true, L"Vantrel.log", false, true},
        {true, L"Vantrel.crash.log", true, false},
        {false, L"Vantrel", true, true},
    };
    UseLinkGuard(&kTestGuard);
    UseEventWriter(CountingWriter);
    for (const auto& c : cases) {
        const std::string label = std::string(c.elevated ? "elevated, link " : "not elevated, link ") + ToNarrow(c.link, CP_ACP);
        LogFile::DestroyInstance();
        ScopedTempDir dir;
        const std::string folder = dir.file("Vantrel");
        CreateDirectoryA(folder.c_str(), nullptr);
        {
            FILE* f = std::fopen((folder + "\\Vantrel.log").c_str(), "wb");
            std::fputs("old log\r\n", f);
            std::fclose(f);
            f = std::fopen((folder + "\\Vantrel.crash.log").c_str(), "wb");
            std::fputs(oldRecord.c_str(), f);
            std::fclose(f);
        }
        g_folder = Wide(dir.path());
        g_folderAnswer = S_OK;
        g_elevated = c.elevated;
        g_linkName = c.link;
        g_crashReports = 0;

        LogFile* log = OpenTestFolderLog();
        ASSERT_NE(log, nullptr) << label;
        LogMessage(0, "new run");
        PrepareCrashRecord(ParentFolder(log->LogPath()));
        CloseCrashRecord();
        LogFile::DestroyInstance();

        const std::string logText = ReadWholeFile(folder + "\\Vantrel.log");
        EXPECT_EQ(logText.find("old log") == std::string::npos, c.logUsed) << label << ": " << logText;
        EXPECT_EQ(logText.find("new run") != std::string::npos, c.logUsed) << label << ": " << logText;
        EXPECT_EQ(FileExists(folder + "\\Vantrel.previous.log"), c.logUsed) << label;
        EXPECT_EQ(ReadWholeFile(folder + "\\Vantrel.crash.log") == oldRecord, !c.recordUsed) << label;
        EXPECT_EQ(g_crashReports.load(), c.recordUsed ? 1 : 0) << label;
    }
    UseEventWriter(nullptr);
    UseLinkGuard(nullptr);
}

// The event writer as a test stands in for it: it answers g_writerAnswer, or first waits for
// g_writerRelease when that is set.
std::atomic<DWORD> g_writerAnswer{ERROR_SUCCESS};
std::atomic<HANDLE> g_writerRelease{nullptr};
DWORD StandInWriter(WORD, DWORD, const wchar_t* const*, WORD) noexcept
{
    if (const HANDLE release = g_writerRelease.load())
        WaitForSingleObject(release, INFINITE);
    return g_writerAnswer.load();
}

TEST_F(LogFileTest, AnEventThatCannotBeWrittenIsLoggedAndIgnored)
{
    // Refused by the event log, held up by it past the caller's wait, and given up by a caller
    // whose stop came: the caller goes on each time, with a log line saying why there is no event.
    UseEventWriter(StandInWriter);
    g_writerAnswer = ERROR_ACCESS_DENIED;
    EXPECT_FALSE(ReportAddinEvent(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_OUTLOOK_CALL_FAILED, {"Quit", "0x80004005"},
                                  kEventReportTimeoutMs));
    EXPECT_NE(Content().find("): EventLog<ReportEvent> ==> [FAILED 5] 1002\r\n"), std::string::npos) << Content();

    UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    g_writerRelease = release.get();
    g_writerAnswer = ERROR_SUCCESS;
    EXPECT_FALSE(ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_ENDED, {"1", "1", "16.0"}, 50));
    EXPECT_NE(Content().find("): EventLog<ReportEvent> ==> [TIMED OUT] 1000\r\n"), std::string::npos) << Content();
    const std::size_t timedOut = Content().size();
    UniqueHandle stop(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    EXPECT_FALSE(ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_ENDED, {"1", "1", "16.0"},
                                  30000, stop.get()))
        << "waited for a write that the stop gave up";
    EXPECT_EQ(Content().size(), timedOut) << "a stop is no time-out: " << Content();
    SetEvent(release.get()); // the writing threads finish on their own and free their reports
    g_writerRelease = nullptr;

    EXPECT_TRUE(ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_LET_GO, {"1", "1", "16.0"},
                                 kEventReportTimeoutMs));
    UseEventWriter(nullptr);
}

TEST_F(LogFileTest, InfoDialogLogsAndShowsAModalBox)
{
    // The empty text is told apart from a box that was never shown: exactly one box each time.
    for (const char* text : {"Unable to establish Application connection point", ""}) {
        SCOPED_TRACE(text);
        MessageBoxDismisser boxes;
        EXPECT_EQ(InfoDialog(text), IDOK);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        const ShownBox& box = boxes.Boxes().front();
        EXPECT_EQ(box.caption, "Vantrel");
        EXPECT_TRUE(box.visible);
        EXPECT_EQ(box.text, text);
        EXPECT_NE(Content().find(std::string("): Global<InfoDialog> ==> ") + text + "\r\n"), std::string::npos)
            << Content();
    }
}

TEST_F(LogFileTest, InfoDialogShowsAMessageInTheAddinsLanguageAndLogsItInEnglish)
{
    const struct {
        UiLanguage language;
        const wchar_t* shown;
    } cases[] = {
        {UiLanguage::German, L"Der Verbindungspunkt f\u00FCr Application konnte nicht hergestellt werden"},
        {UiLanguage::SimplifiedChinese, L"\u65E0\u6CD5\u5EFA\u7ACB Application \u8FDE\u63A5\u70B9"}, // 无法建立 Application 连接点
        {UiLanguage::English, L"Unable to establish Application connection point"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(UiLanguageTag(c.language));
        SetUiLanguage(c.language);
        MessageBoxDismisser boxes;
        EXPECT_EQ(InfoDialog(UINT{IDS_INFO_APPLICATION_ADVISE}), IDOK);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes().front().caption, "Vantrel");
        EXPECT_EQ(boxes.Boxes().front().wideText, c.shown);
    }
    SetUiLanguage(UiLanguage::English);
    const std::string line = "): Global<InfoDialog> ==> Unable to establish Application connection point\r\n";
    size_t count = 0;
    for (size_t at = Content().find(line); at != std::string::npos; at = Content().find(line, at + 1))
        ++count;
    EXPECT_EQ(count, 3u) << Content();
}

TEST_F(LogFileTest, InfoDialogTestAnswersOnlyItsOwnBox)
{
    // A box of the same caption that another thread shows first is left alone.
    const BystanderBox other("Vantrel", "another test's box");
    ASSERT_NE(other.window(), nullptr);
    MessageBoxDismisser boxes;
    EXPECT_EQ(InfoDialog("mine"), IDOK);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"mine"});
    EXPECT_TRUE(other.StillShown()) << "the other thread's box was answered";
}

} // namespace
