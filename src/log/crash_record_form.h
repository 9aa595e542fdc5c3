// The form of a crash record line, which the exception filters write and the next load checks
// before the Event Log hears of it: the file lies in the user's profile, where anything may have
// been written into it. Portable C++ with no Windows headers; nothing here throws.
//
// A line: "YYYY-MM-DD HH:MM:SS UTC exception 0x" 8 hex digits " at " place " thread " decimal
// " process " decimal, where place is a module name, or kUnnamedImage, followed by "+0x" and the
// hex offset into that module, or kNoImage alone (an address in no image is not written).
#pragma once

#include <cstddef>
#include <string_view>

constexpr char kNoImage[] = "<no image>";
constexpr char kUnnamedImage[] = "<unnamed image>";
// The longest module name a record holds.
constexpr std::size_t kRecordNameMax = 63;

// A character a module's name may have in a record: printable ASCII other than a blank, '%'
// (which the Event Log's viewer would expand) and the angle brackets of the two marks above.
constexpr bool IsRecordNameChar(char c) noexcept
{
    return c > 0x20 && c < 0x7F && c != '%' && c != '<' && c != '>';
}

// True when text is one or more record lines, separated by CR LF (no trailing line break).
bool IsCrashRecordText(std::string_view text) noexcept;
