// The log's result line, "Where<What> ==> [HRES xxxxxxxx]", written by one helper that hands the
// result back, so that a call's end reads `return LogResult("Connect<OnConnection>", hr);`.
// Any thread; never throws.
#pragma once

#include <windows.h>

#include "log/log_file.h"

// Logs "<where> ==> [HRES %08x]" with hr and returns hr.
inline HRESULT LogResult(const char* where, HRESULT hr) noexcept
{
    LogMessage(0, "%s ==> [HRES %08x]", where, static_cast<unsigned>(hr));
    return hr;
}
