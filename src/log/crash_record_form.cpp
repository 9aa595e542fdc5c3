#include "log/crash_record_form.h"

namespace {

// Reads a line from its start, one expected piece after another; any mismatch fails it for good.
class LineReader {
public:
    explicit LineReader(std::string_view line) noexcept : m_rest(line) {}

    bool Text(std::string_view expected) noexcept
    {
        if (m_rest.substr(0, expected.size()) != expected)
            return false;
        m_rest.remove_prefix(expected.size());
        return true;
    }
    // Exactly `count` decimal digits, or at least one (and at most 10) when count is 0.
    bool Digits(std::size_t count) noexcept
    {
        std::size_t n = 0;
        while (n < m_rest.size() && m_rest[n] >= '0' && m_rest[n] <= '9')
            ++n;
        if (count != 0 ? n != count : (n == 0 || n > 10))
            return false;
        m_rest.remove_prefix(n);
        return true;
    }
    // "0x" and upper-case hex digits: exactly `count`, or 1 to 16 when count is 0.
    bool Hex(std::size_t count) noexcept
    {
        if (!Text("0x"))
            return false;
        std::size_t n = 0;
        while (n < m_rest.size() && ((m_rest[n] >= '0' && m_rest[n] <= '9') || (m_rest[n] >= 'A' && m_rest[n] <= 'F')))
            ++n;
        if (count != 0 ? n != count : (n == 0 || n > 16))
            return false;
        m_rest.remove_prefix(n);
        return true;
    }
    // A module's name up to the "+" before its offset.
    bool Name() noexcept
    {
        std::size_t n = 0;
        while (n < m_rest.size() && n <= kRecordNameMax && IsRecordNameChar(m_rest[n]) && m_rest[n] != '+')
            ++n;
        if (n == 0 || n > kRecordNameMax)
            return false;
        m_rest.remove_prefix(n);
        return true;
    }
    bool Done() const noexcept { return m_rest.empty(); }

private:
    std::string_view m_rest;
};

bool IsRecordLine(std::string_view line) noexcept
{
    LineReader r(line);
    if (!(r.Digits(4) && r.Text("-") && r.Digits(2) && r.Text("-") && r.Digits(2) && r.Text(" ") && r.Digits(2) &&
          r.Text(":") && r.Digits(2) && r.Text(":") && r.Digits(2) && r.Text(" UTC exception ") && r.Hex(8) &&
          r.Text(" at ")))
        return false;
    if (!r.Text(kNoImage)) {
        if (!(r.Text(kUnnamedImage) || r.Name()) || !(r.Text("+") && r.Hex(0)))
            return false;
    }
    return r.Text(" thread ") && r.Digits(0) && r.Text(" process ") && r.Digits(0) && r.Done();
}

} // namespace

bool IsCrashRecordText(std::string_view text) noexcept
{
    if (text.empty())
        return false;
    for (;;) {
        const std::size_t end = text.find("\r\n");
        if (!IsRecordLine(text.substr(0, end)))
            return false;
        if (end == std::string_view::npos)
            return true;
        text.remove_prefix(end + 2);
    }
}
