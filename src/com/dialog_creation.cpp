#include "com/dialog_creation.h"

namespace {
// The object whose dialog this thread is creating and that no window has taken yet.
thread_local void* t_creating = nullptr;
} // namespace

DialogCreation::DialogCreation(void* object) noexcept : m_previous(t_creating)
{
    t_creating = object;
}

DialogCreation::~DialogCreation()
{
    t_creating = m_previous;
}

bool DialogCreation::Claim(LPARAM lParam) noexcept
{
    if (!t_creating || reinterpret_cast<void*>(lParam) != t_creating)
        return false;
    t_creating = nullptr;
    return true;
}
