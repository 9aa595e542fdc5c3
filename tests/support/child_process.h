// Runs part of a test in a child process (a copy of this test program, started the way
// GoogleTest starts a death test's child), for tests in which the shutdown worker could end
// its process: a termination then ends only the child, and the parent sees it. The worker
// terminates with exit code 0, so the child reports its own success with another code.
// Runs on the test's thread; throws nothing of its own.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

constexpr int kChildPassed = 42;
constexpr int kChildCrashed = 43;
constexpr int kChildHung = 44;
// The longest a child may run: far beyond what any child does, well within CTest's bound for
// the whole test, so that a hung child fails its own test and does not outlive it.
constexpr DWORD kChildBoundMs = 60000;

// In a child: ends the process with kChildHung (and says so on the error stream) once it has
// run for kChildBoundMs. A thread of its own, so that a child stuck on any of its threads is
// ended all the same.
inline DWORD WINAPI ChildWatchdog(void*)
{
    Sleep(kChildBoundMs);
    std::fprintf(stderr, "the child ran longer than %lu ms: ended\n", static_cast<unsigned long>(kChildBoundMs));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kChildHung);
    return 0;
}

inline void BoundThisChild()
{
    const HANDLE watchdog = CreateThread(nullptr, 0, ChildWatchdog, nullptr, 0, nullptr);
    if (watchdog)
        CloseHandle(watchdog);
}

// In the child, GoogleTest reports nothing of its own: each failure goes to the error stream,
// which the parent shows when the child fails.
class ChildFailurePrinter : public ::testing::EmptyTestEventListener {
    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        if (result.failed())
            std::fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?", result.line_number(),
                         result.summary());
    }
};

// A fault in the child ends it at once with its own code, instead of waiting for a debugger.
inline LONG WINAPI EndCrashedChild(EXCEPTION_POINTERS*)
{
    std::_Exit(kChildCrashed);
}

// Expects `body` to return in the child without a failed expectation, without the process
// being ended on the way and within kChildBoundMs (a hung child is ended and fails the test). Everything of the test before this call runs in the child again.
inline void ExpectInChildProcess(const std::function<void()>& body)
{
    EXPECT_EXIT(
        {
            BoundThisChild();
            SetUnhandledExceptionFilter(EndCrashedChild);
            ::testing::UnitTest::GetInstance()->listeners().Append(new ChildFailurePrinter);
            body();
            std::fflush(stdout);
            std::_Exit(::testing::Test::HasFailure() ? 1 : kChildPassed);
        },
        ::testing::ExitedWithCode(kChildPassed), "")
        << "the child failed an expectation, crashed or was terminated";
}
