#include "support/dialog_layout.h"

#include <algorithm>
#include <cstdio>

#include "win32/raii.h"

namespace {

const WORD* SkipField(const WORD* p, WORD* ordinal = nullptr, std::wstring* text = nullptr)
{
    if (*p == 0xFFFF) {
        if (ordinal)
            *ordinal = p[1];
        return p + 2;
    }
    const WORD* start = p;
    while (*p)
        ++p;
    if (text)
        text->assign(reinterpret_cast<const wchar_t*>(start), static_cast<size_t>(p - start));
    return p + 1;
}

std::string Utf8(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), bytes, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

std::string Name(const LaidOutControl& control)
{
    return "control " + std::to_string(static_cast<long>(control.id)) + " \"" + Utf8(control.text) + "\"";
}

bool Intersect(const RECT& a, const RECT& b)
{
    RECT both{};
    return IntersectRect(&both, &a, &b) != FALSE;
}

} // namespace

bool LayOutDialog(const void* dialogTemplate, int dpi, LaidOutDialog* out)
{
    const auto* data = static_cast<const BYTE*>(dialogTemplate);
    const auto word = [data](size_t offset) { return *reinterpret_cast<const WORD*>(data + offset); };
    if (!data || word(0) != 1 || word(2) != 0xFFFF)
        return false;
    const DWORD style = *reinterpret_cast<const DWORD*>(data + 12);
    if (!(style & DS_SETFONT))
        return false;
    const WORD count = word(16);
    const short cx = static_cast<short>(word(22));
    const short cy = static_cast<short>(word(24));
    const WORD* p = reinterpret_cast<const WORD*>(data + 26);
    p = SkipField(p);                            // menu
    p = SkipField(p);                            // class
    p = SkipField(p, nullptr, &out->caption);    // title
    out->font = LOGFONTW{};
    out->font.lfHeight = -MulDiv(static_cast<short>(*p++), dpi, 72);
    out->font.lfWeight = *p++;
    out->font.lfItalic = LOBYTE(*p);
    out->font.lfCharSet = HIBYTE(*p);
    ++p;
    std::wstring face;
    p = SkipField(p, nullptr, &face);
    face.copy(out->font.lfFaceName, LF_FACESIZE - 1);

    const UniqueDc dc(CreateCompatibleDC(nullptr));
    const UniqueGdiObject font(CreateFontIndirectW(&out->font));
    if (!dc || !font)
        return false;
    const SelectObjectScope selected(dc.get(), font.get());
    TEXTMETRICW metrics{};
    SIZE alphabet{};
    if (!GetTextMetricsW(dc.get(), &metrics) ||
        !GetTextExtentPoint32W(dc.get(), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &alphabet))
        return false;
    out->baseX = (alphabet.cx / 26 + 1) / 2;
    out->baseY = metrics.tmHeight;
    const RECT client = DialogUnitsToPixels(*out, RECT{0, 0, cx, cy});
    out->client = SIZE{client.right, client.bottom};

    out->controls.clear();
    for (WORD i = 0; i < count; ++i) {
        const auto* item = reinterpret_cast<const BYTE*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR{3});
        LaidOutControl control{};
        control.style = *reinterpret_cast<const DWORD*>(item + 8);
        const auto* coords = reinterpret_cast<const short*>(item + 12);
        // As the dialog manager does: the position and the size each turned into pixels.
        const RECT origin = DialogUnitsToPixels(*out, RECT{coords[0], coords[1], coords[2], coords[3]});
        control.rect = RECT{origin.left, origin.top, origin.left + origin.right, origin.top + origin.bottom};
        control.id = *reinterpret_cast<const DWORD*>(item + 20);
        p = reinterpret_cast<const WORD*>(item + 24);
        std::wstring className;
        p = SkipField(p, &control.classOrdinal, &className);
        // A class given by name (as windres writes CONTROL's) stands for its ordinal.
        const struct {
            const wchar_t* name;
            WORD ordinal;
        } kClasses[] = {{L"button", 0x80}, {L"edit", 0x81}, {L"static", 0x82}};
        for (const auto& known : kClasses)
            if (!className.empty() && lstrcmpiW(className.c_str(), known.name) == 0)
                control.classOrdinal = known.ordinal;
        p = SkipField(p, nullptr, &control.text);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        out->controls.push_back(control);
    }
    return true;
}

RECT DialogUnitsToPixels(const LaidOutDialog& dialog, RECT units)
{
    return RECT{MulDiv(units.left, dialog.baseX, 4), MulDiv(units.top, dialog.baseY, 8),
                MulDiv(units.right, dialog.baseX, 4), MulDiv(units.bottom, dialog.baseY, 8)};
}

std::vector<std::string> LayoutFaults(const LaidOutDialog& dialog, int dpi, const std::vector<ExtraText>& extraTexts)
{
    std::vector<std::string> faults;
    const UniqueDc dc(CreateCompatibleDC(nullptr));
    const UniqueGdiObject font(CreateFontIndirectW(&dialog.font));
    if (!dc || !font)
        return {"no font"};
    const SelectObjectScope selected(dc.get(), font.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);

    const auto missingGlyphs = [&dc](const std::wstring& text) {
        std::vector<WORD> glyphs(text.size());
        if (text.empty())
            return false;
        if (GetGlyphIndicesW(dc.get(), text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
            return true;
        return std::find(glyphs.begin(), glyphs.end(), WORD{0xFFFF}) != glyphs.end();
    };

    // What each control's text covers, for the overlap check.
    std::vector<std::pair<std::string, RECT>> used;
    for (const LaidOutControl& control : dialog.controls) {
        const LONG width = control.rect.right - control.rect.left;
        const LONG height = control.rect.bottom - control.rect.top;
        RECT covers = control.rect;
        const bool isStaticText = control.classOrdinal == 0x82 && (control.style & SS_TYPEMASK) <= SS_LEFTNOWORDWRAP;
        const bool isCheckBox = control.classOrdinal == 0x80 && (control.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        if ((isStaticText || isCheckBox) && !control.text.empty()) {
            SIZE extent{};
            GetTextExtentPoint32W(dc.get(), control.text.c_str(), static_cast<int>(control.text.size()), &extent);
            // A check box draws its box (13 pixels at 96 DPI) and a gap before the text.
            const LONG before = isCheckBox ? MulDiv(13, dpi, 96) + metrics.tmAveCharWidth / 2 + 1 : 0;
            if (before + extent.cx > width)
                faults.push_back(Name(control) + " needs " + std::to_string(before + extent.cx) + " px, has " +
                                 std::to_string(width) + " (" +
                                 std::to_string(MulDiv(before + extent.cx, 4, dialog.baseX) + 1) + " DLU)");
            if (metrics.tmHeight > height)
                faults.push_back(Name(control) + " is " + std::to_string(metrics.tmHeight) + " px high, has " +
                                 std::to_string(height));
            if (missingGlyphs(control.text))
                faults.push_back(Name(control) + " has characters its font has no glyph for");
            covers.right = covers.left + std::min(width, before + extent.cx);
        }
        used.emplace_back(Name(control), covers);
    }
    for (size_t i = 0; i < used.size(); ++i)
        for (size_t j = i + 1; j < used.size(); ++j)
            if (Intersect(used[i].second, used[j].second))
                faults.push_back(used[i].first + " overlaps " + used[j].first + " (" +
                                 std::to_string(used[i].second.left) + "-" + std::to_string(used[i].second.right) +
                                 " and " + std::to_string(used[j].second.left) + "-" +
                                 std::to_string(used[j].second.right) + " px)");

    for (const ExtraText& extra : extraTexts) {
        const RECT rect = DialogUnitsToPixels(dialog, extra.units);
        RECT needed{0, 0, rect.right - rect.left, 0};
        DrawTextW(dc.get(), extra.text.c_str(), static_cast<int>(extra.text.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        if (needed.bottom > rect.bottom - rect.top || needed.right > rect.right - rect.left)
            faults.push_back(std::string(extra.what) + " needs " + std::to_string(needed.right) + "x" +
                             std::to_string(needed.bottom) + " px, has " + std::to_string(rect.right - rect.left) +
                             "x" + std::to_string(rect.bottom - rect.top));
        if (missingGlyphs(extra.text))
            faults.push_back(std::string(extra.what) + " has characters its font has no glyph for");
        for (const auto& other : used)
            if (Intersect(rect, other.second))
                faults.push_back(std::string(extra.what) + " overlaps " + other.first);
    }
    return faults;
}

LONG TextWidth(const LaidOutDialog& dialog, const std::wstring& text)
{
    const UniqueDc dc(CreateCompatibleDC(nullptr));
    const UniqueGdiObject font(CreateFontIndirectW(&dialog.font));
    if (!dc || !font)
        return 0;
    const SelectObjectScope selected(dc.get(), font.get());
    SIZE extent{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    return extent.cx;
}
