#include "win32/dialog_template.h"

#include "win32/raii.h"
#include "win32/ui_language.h"

namespace {

// Skips a menu or class field of a dialog template: empty, an ordinal, or a string.
const WORD* SkipNameOrOrdinal(const WORD* p, const WORD* end)
{
    if (p >= end)
        return end;
    if (*p == 0x0000)
        return p + 1;
    if (*p == 0xFFFF)
        return p + 2;
    while (p < end && *p)
        ++p;
    return p < end ? p + 1 : end;
}

// The base units of the font a template names at p (its point size, then for DLGTEMPLATEEX its
// weight, italic flag and character set, then its face name): the average width of the
// alphabet's letters and the font's height. False, with nothing written, when the font cannot be
// made or measured.
bool FontBaseUnits(HDC screen, int dpiY, const WORD* p, const WORD* end, bool extended, int* baseX, int* baseY)
{
    LOGFONTW font{};
    font.lfHeight = -MulDiv(static_cast<short>(*p++), dpiY, 72);
    if (extended) {
        font.lfWeight = *p++;
        font.lfItalic = LOBYTE(*p);
        font.lfCharSet = HIBYTE(*p);
        ++p;
    } else {
        font.lfCharSet = DEFAULT_CHARSET;
    }
    for (int i = 0; i < LF_FACESIZE - 1 && p + i < end && p[i]; ++i)
        font.lfFaceName[i] = static_cast<wchar_t>(p[i]);
    const UniqueGdiObject handle(CreateFontIndirectW(&font));
    if (!handle)
        return false;
    const SelectObjectScope selected(screen, handle.get());
    TEXTMETRICW metrics{};
    SIZE alphabet{};
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    if (!GetTextMetricsW(screen, &metrics) || !GetTextExtentPoint32W(screen, kAlphabet, 52, &alphabet))
        return false;
    *baseX = (alphabet.cx / 26 + 1) / 2;
    *baseY = metrics.tmHeight;
    return true;
}

} // namespace

SIZEL DialogTemplateExtent(HINSTANCE instance, WORD dialogId)
{
    SIZEL extent{0, 0};
    // The template the window will be made from: the add-in's language's.
    DWORD bytes = 0;
    const BYTE* data = reinterpret_cast<const BYTE*>(FindUiDialog(instance, dialogId, CurrentUiLanguage(), &bytes));
    if (!data || bytes < 18)
        return extent;

    // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF; DLGTEMPLATE has neither.
    const auto word = [data](size_t offset) { return *reinterpret_cast<const WORD*>(data + offset); };
    const bool extended = word(0) == 1 && word(2) == 0xFFFF;
    if (extended && bytes < 26)
        return extent;
    const DWORD style = extended ? *reinterpret_cast<const DWORD*>(data + 12) : *reinterpret_cast<const DWORD*>(data);
    const short cx = static_cast<short>(word(extended ? 22 : 14));
    const short cy = static_cast<short>(word(extended ? 24 : 16));
    const WORD* end = reinterpret_cast<const WORD*>(data + bytes);
    const WORD* p = reinterpret_cast<const WORD*>(data + (extended ? 26 : 18));
    p = SkipNameOrOrdinal(p, end); // menu
    p = SkipNameOrOrdinal(p, end); // window class
    p = SkipNameOrOrdinal(p, end); // title

    UniqueWindowDc screen(nullptr);
    const int dpiX = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
    const int dpiY = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    // Dialog base units: the average character width and the height of the template's font.
    const LONG systemUnits = GetDialogBaseUnits();
    int baseX = LOWORD(systemUnits);
    int baseY = HIWORD(systemUnits);
    if (screen && (style & DS_SETFONT) && p + (extended ? 3 : 1) < end)
        (void)FontBaseUnits(screen.get(), dpiY, p, end, extended, &baseX, &baseY);

    const int pixelsX = MulDiv(cx, baseX, 4);
    const int pixelsY = MulDiv(cy, baseY, 8);
    extent.cx = MulDiv(pixelsX, 2540, dpiX);
    extent.cy = MulDiv(pixelsY, 2540, dpiY);
    return extent;
}
