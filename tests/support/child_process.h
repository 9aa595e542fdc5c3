// Runs part of a test in a child process (a copy of this test program, started the way
// GoogleTest starts a death test's child), for tests in which the shutdown worker could end
// its process: a termination then ends only the child, and the parent sees it. The worker
// terminates with exit code 0, so the child reports its own success with another code.
// Runs on the test's thread; throws nothing of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

constexpr int kChildPassed = 42;
constexpr int kChildCrashed = 43;

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

// Expects `body` to return in the child without a failed expectation and without the process
// being ended on the way. Everything of the test before this call runs in the child again.
inline void ExpectInChildProcess(const std::function<void()>& body)
{
    EXPECT_EXIT(
        {
            SetUnhandledExceptionFilter(EndCrashedChild);
            ::testing::UnitTest::GetInstance()->listeners().Append(new ChildFailurePrinter);
            body();
            std::fflush(stdout);
            std::_Exit(::testing::Test::HasFailure() ? 1 : kChildPassed);
        },
        ::testing::ExitedWithCode(kChildPassed), "")
        << "the child failed an expectation, crashed or was terminated";
}
