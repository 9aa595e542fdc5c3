// Conversions between the narrow texts the add-in keeps (ANSI code page, UTF-8 for the
// registrar) and the UTF-16 that COM and the wide APIs want. All throw std::bad_alloc only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// UTF-16 text of `text` read in `codePage`; empty for an empty or unconvertible text.
std::wstring ToWide(std::string_view text, UINT codePage);
// `text` written in `codePage`; empty for an empty or unconvertible text.
std::string ToNarrow(std::wstring_view text, UINT codePage);
