// A failed COM call raised as an exception: the HRESULT and the interface that failed.
// Exceptions never leave a COM method, window procedure or thread: edges catch them
// with CaughtExceptionResult().
#pragma once

#include <windows.h>

#include <exception>

class ComError : public std::exception {
public:
    ComError(HRESULT hr, const IID& iid) : m_hr(hr), m_iid(iid) {}
    HRESULT Error() const { return m_hr; }
    const IID& Interface() const { return m_iid; }
    const char* what() const noexcept override { return "COM error"; }

private:
    HRESULT m_hr;
    IID m_iid;
};

// Throws ComError(hr, iid) when hr is a failure.
inline void ThrowIfFailed(HRESULT hr, const IID& iid)
{
    if (FAILED(hr))
        throw ComError(hr, iid);
}

// The calling thread's last error as a failure HRESULT, or fallback's when the failed call left
// none (HRESULT_FROM_WIN32(0) would read as success). No-throw.
inline HRESULT LastErrorOr(DWORD fallback) noexcept
{
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : fallback);
}

// Inside a catch block: the HRESULT for the exception being handled (the carried HRESULT
// of a ComError, E_OUTOFMEMORY for bad_alloc, E_UNEXPECTED otherwise). No-throw.
HRESULT CaughtExceptionResult() noexcept;

// Closes the try block of a no-throw edge that returns an HRESULT (COM method, export): what
// escaped becomes its HRESULT.  `try { ... } CATCH_RETURN()`
#define CATCH_RETURN()                                                                                               \
    catch (...)                                                                                                      \
    {                                                                                                                \
        return CaughtExceptionResult();                                                                              \
    }

// Closes the try block of a no-throw edge that returns something else (window procedure,
// thread routine): what escaped is dropped and value returned.
#define CATCH_RETURN_VALUE(value)                                                                                    \
    catch (...)                                                                                                      \
    {                                                                                                                \
        return value;                                                                                                \
    }
