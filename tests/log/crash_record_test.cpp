// The crash record: its line, the check of its form, its report at the next load, and the
// filters' writes, which end their process and so run in child processes.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

#include "win32/raii.h"
#include "win32/text_convert.h"
#include "log/crash_record.h"
#include "log/crash_record_form.h"
#include "log/event_log.h"
#include "log/log_file.h"
#include "support/test_support.h"

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ToHex(std::ptrdiff_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%llX", static_cast<unsigned long long>(value));
    return text;
}

TEST(CrashRecord, NamesTheCodeAndTheModuleAndOffsetOfTheFaultButNoAddress)
{
    // An address in a DLL with an export name, one in the executable (named by the name kept at
    // preparation: a MinGW program has no export directory), one in an image without a name (the
    // executable's file mapped once more as an image) and one outside any image.
    ScopedTempDir dir;
    PrepareCrashRecord(Wide(dir.path()));
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    const auto procedure = reinterpret_cast<BYTE*>(GetProcAddress(kernel32, "GetTickCount"));
    const auto executable = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string programName = std::strrchr(program, '\\') + 1;
    const UniqueFileHandle programFile(CreateFileA(program, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const UniqueHandle section(CreateFileMappingA(programFile.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
    ASSERT_TRUE(section);
    BYTE* const copy = static_cast<BYTE*>(MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(copy, nullptr);
    int onTheStack = 0;
    const struct {
        void* address;
        DWORD code;
        std::string expected;
    } cases[] = {
        {procedure, EXCEPTION_ACCESS_VIOLATION,
         "exception 0xC0000005 at kernel32.dll+0x" + ToHex(procedure - reinterpret_cast<BYTE*>(kernel32)) + " thread "},
        {executable + 0x1234, EXCEPTION_STACK_OVERFLOW, "exception 0xC00000FD at " + programName + "+0x1234 thread "},
        {copy + 0x1234, EXCEPTION_ACCESS_VIOLATION, "exception 0xC0000005 at <unnamed image>+0x1234 thread "},
        {&onTheStack, 0xE06D7363, "exception 0xE06D7363 at <no image> thread "},
    };
    for (const auto& c : cases) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = c.code;
        record.ExceptionAddress = c.address;
        char text[256];
        const size_t length = FormatCrashRecord(record, text, sizeof(text));
        const std::string line(text, length);
        EXPECT_TRUE(std::regex_match(line, std::regex(R"re(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC .* process \d+\r\n)re"))) << line;
        EXPECT_TRUE(IsCrashRecordText(line.substr(0, line.size() - 2))) << line;
        // Module names are compared without case: the loader's own spelling varies.
        EXPECT_NE(Lower(line).find(Lower(" UTC " + c.expected + std::to_string(GetCurrentThreadId()) + " process " +
                                         std::to_string(GetCurrentProcessId()) + "\r\n")),
                  std::string::npos)
            << line << "\nexpected: " << c.expected;
        // A short buffer takes what fits, and nothing beyond it.
        char shortText[20] = {};
        EXPECT_EQ(FormatCrashRecord(record, shortText, 10), 10u);
        EXPECT_EQ(shortText[10], '\0');
    }
    UnmapViewOfFile(copy);
    CloseCrashRecord();
}

TEST(CrashRecord, OnlyTheRecordsOwnFormIsARecord)
{
    const std::string line = "2024-05-02 09:41:07 UTC exception 0xC0000005 at OUTLOOK.EXE+0x1A2B thread 1234 process 5678";
    const struct {
        std::string text;
        bool record;
    } cases[] = {
        {line, true},
        {line + "\r\n" + line, true},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at <no image> thread 1 process 2", true},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at <unnamed image>+0x10 thread 1 process 2", true},
        {"", false},
        {line + "\r\n", false},
        {line + " and more", false},
        {line + "\r\nanything at all", false},
        {"Hello %1 %%2 <b>", false},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at 0x7FFE12345678 thread 1 process 2", false},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at 0x7FFE0000+0x10 thread 1 process 2", true}, // a name of hex digits
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at a%1b+0x10 thread 1 process 2", false},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at my module+0x10 thread 1 process 2", false},
        {"2024-05-02 09:41:07 UTC exception 0xc0000005 at OUTLOOK.EXE+0x10 thread 1 process 2", false},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at " + std::string(64, 'a') + "+0x10 thread 1 process 2", false},
        {"2024-05-02 09:41:07 UTC exception 0xC0000005 at OUTLOOK.EXE+0x10 thread 12345678901 process 2", false},
        {std::string("2024-05-02 09:41:07 UTC exception 0xC0000005 at OUTLOOK.EXE+0x10 thread 1 process 2\0", 87), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsCrashRecordText(c.text), c.record) << c.text;
}

// A log in a fresh folder and the crash record prepared beside it, as at a load; the event
// writer is the test's.
class LeftRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogFile::DestroyInstance();
        LogFile* log = LogFile::GetInstance();
        log->SetLogPath(Wide(m_dir.file("Vantrel.log")).c_str());
        log->SetOptions(TRUE, FALSE);
        UseEventWriter(Writer);
        s_test = this;
    }
    void TearDown() override
    {
        CloseCrashRecord();
        UseEventWriter(nullptr);
        LogFile::DestroyInstance();
        s_test = nullptr;
    }

    void Leave(const std::string& text)
    {
        FILE* f = std::fopen(m_record.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    // A load: the record left is reported, and the file opened for this run.
    void Load()
    {
        CloseCrashRecord();
        PrepareCrashRecord(Wide(m_dir.path()));
    }

    // The writer: records what it was given and what the file held at that moment, then answers
    // `answer`, after `hold` is signalled when that is set. Its thread is kept in `writerThread`.
    static DWORD Writer(WORD, DWORD id, const wchar_t* const* strings, WORD count) noexcept
    {
        LeftRecordTest& t = *s_test;
        HANDLE thread = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0);
        t.writerThread.reset(thread);
        t.reportedId = id;
        t.reported = count == 1 ? ToNarrow(strings[0], CP_ACP) : "(strings: " + std::to_string(count) + ")";
        t.fileAtReport = ReadWholeFile(t.m_record);
        SetEvent(t.entered.get());
        if (t.hold)
            WaitForSingleObject(t.hold.get(), 30000);
        return t.answer;
    }

    ScopedTempDir m_dir;
    const std::string m_record = m_dir.file("Vantrel.crash.log");
    DWORD answer = ERROR_SUCCESS;
    UniqueHandle hold;
    UniqueHandle entered{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle writerThread;
    DWORD reportedId = 0;
    std::string reported;
    std::string fileAtReport;
    static LeftRecordTest* s_test;
};
LeftRecordTest* LeftRecordTest::s_test = nullptr;

const std::string kLine = "2024-05-02 09:41:07 UTC exception 0xC0000005 at OUTLOOK.EXE+0x1A2B thread 1234 process 5678";

TEST_F(LeftRecordTest, ARecordIsEmptiedOnlyAfterItsReportWasWritten)
{
    // The record as the Event Log hears it (a text that is no record is named as unreadable, not
    // echoed), and whether the file is emptied afterwards: only once the write succeeded while
    // the load still waited for it.
    const struct {
        const char* name;
        std::string left;
        DWORD answer;
        bool held; // the write outlasts the load's wait and succeeds afterwards
        std::string reported;
        bool emptied;
    } cases[] = {
        {"written", kLine + "\r\n", ERROR_SUCCESS, false, kLine, true},
        {"two runs kept", kLine + "\r\n" + kLine + "\r\n", ERROR_SUCCESS, false, kLine + "\r\n" + kLine, true},
        {"refused", kLine + "\r\n", ERROR_ACCESS_DENIED, false, kLine, false},
        {"written late", kLine + "\r\n", ERROR_SUCCESS, true, kLine, false},
        {"not a record", "%1 written by someone else <script>\r\n", ERROR_SUCCESS, false, kUnreadableCrashRecord, true},
        {"too long to be one", kLine + "\r\n" + std::string(5000, 'x'), ERROR_SUCCESS, false, kUnreadableCrashRecord, true},
    };
    for (const auto& c : cases) {
        Leave(c.left);
        answer = c.answer;
        reported.clear();
        fileAtReport.clear();
        if (c.held)
            hold.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        Load();
        if (c.held) {
            ASSERT_EQ(WaitForSingleObject(entered.get(), 30000), WAIT_OBJECT_0) << c.name;
            SetEvent(hold.get()); // the write succeeds after the load went on
            ASSERT_EQ(WaitForSingleObject(writerThread.get(), 30000), WAIT_OBJECT_0) << c.name;
            hold.reset();
        }
        EXPECT_EQ(reportedId, static_cast<DWORD>(VANTREL_EVENT_PREVIOUS_RUN_CRASHED)) << c.name;
        EXPECT_EQ(reported, c.reported) << c.name;
        EXPECT_EQ(fileAtReport, c.left) << c.name << ": the record was there while it was reported";
        EXPECT_EQ(ReadWholeFile(m_record), c.emptied ? "" : c.left) << c.name;
        CloseCrashRecord();
        DeleteFileA(m_record.c_str());
    }
}

TEST_F(LeftRecordTest, ARecordThatCannotBeReadIsKeptUntilItCanBe)
{
    // Held by a program that lets others write it but not read it (a scanner, a sync client).
    Leave(kLine + "\r\n");
    {
        const UniqueFileHandle holder(CreateFileA(m_record.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        Load();
    }
    EXPECT_EQ(reportedId, 0u) << "nothing to report while it cannot be read";
    EXPECT_EQ(ReadWholeFile(m_record), kLine + "\r\n");
    EXPECT_NE(ReadWholeFile(m_dir.file("Vantrel.log")).find("CrashRecord<Report> ==> [UNREADABLE 32]"), std::string::npos)
        << ReadWholeFile(m_dir.file("Vantrel.log"));

    Load(); // the next load can read it
    EXPECT_EQ(reported, kLine);
    EXPECT_EQ(ReadWholeFile(m_record), "");
}

// The faulting tests share a fixed folder with their child, which runs the test from its start.
std::string FaultFolder()
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    return std::string(base) + "vantrel-crash-record-fault";
}

// Stands in for the module's filter, in a program without the DLL.
LONG WINAPI RecordingFilter(EXCEPTION_POINTERS* info) noexcept
{
    WriteCrashRecord(info);
    return EXCEPTION_EXECUTE_HANDLER;
}

HANDLE g_firstWriting = nullptr;
HANDLE g_secondWaiting = nullptr;

// The first thread's write, held until the second faulting thread waits for it.
BOOL WINAPI HeldWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    SetEvent(g_firstWriting);
    WaitForSingleObject(g_secondWaiting, 30000);
    return WriteFile(file, data, size, written, overlapped);
}

DWORD WINAPI MarkedWait(HANDLE handle, DWORD milliseconds)
{
    SetEvent(g_secondWaiting);
    return WaitForSingleObject(handle, milliseconds);
}

DWORD WINAPI Fault(LPVOID) noexcept
{
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

// In the child: a thread faults and begins its record, then this one faults too.
void FaultOnTwoThreads(const std::string& folder)
{
    PrepareCrashRecord(Wide(folder));
    g_firstWriting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_secondWaiting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const CrashRecordCalls calls = {HeldWrite, MarkedWait};
    UseCrashRecordCalls(&calls);
    SetUnhandledExceptionFilter(RecordingFilter);
    CloseHandle(CreateThread(nullptr, 0, Fault, nullptr, 0, nullptr));
    WaitForSingleObject(g_firstWriting, 30000);
    Fault(nullptr);
}

TEST(CrashRecordFault, TwoFaultingThreadsLeaveOneWholeRecord)
{
    // The second thread's filter, whose answer ends the process, waits for the first one's line.
    const std::string folder = FaultFolder();
    DeleteTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_EXIT(FaultOnTwoThreads(folder), ::testing::ExitedWithCode(static_cast<int>(EXCEPTION_ACCESS_VIOLATION)), "");
    const std::string written = ReadWholeFile(folder + "\\Vantrel.crash.log");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
    EXPECT_TRUE(written.size() > 2 && IsCrashRecordText(written.substr(0, written.size() - 2))) << written;
    DeleteTree(folder);
}

} // namespace
