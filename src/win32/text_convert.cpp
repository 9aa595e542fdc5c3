#include "win32/text_convert.h"

std::wstring ToWide(std::string_view text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    (void)MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

std::string ToNarrow(std::wstring_view text, UINT codePage)
{
    if (text.empty())
        return std::string();
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(length), '\0');
    (void)WideCharToMultiByte(codePage, 0, text.data(), size, &narrow[0], length, nullptr, nullptr);
    return narrow;
}
