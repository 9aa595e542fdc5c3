// Runs a function when the scope is left, however it is left: the one way to undo a step
// that has no owner type of its own (a hook put back, a flag cleared). The function must not
// throw; Release() cancels it. Any thread.
#pragma once

#include <utility>

template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F action) noexcept : m_action(std::move(action)) {}
    ~ScopeExit()
    {
        if (m_armed)
            m_action();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

    // The scope's end will no longer run the function.
    void Release() noexcept { m_armed = false; }

private:
    F m_action;
    bool m_armed = true;
};

// auto restore = MakeScopeExit([&] { ... });
template <typename F>
ScopeExit<F> MakeScopeExit(F action) noexcept
{
    return ScopeExit<F>(std::move(action));
}
