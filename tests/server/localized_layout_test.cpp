// Every language's options page and exit dialog show their texts whole, at 96 and at 144 DPI:
// each control's text measured against the control with the template's own font, every
// character with a glyph in that font, no two texts on top of each other. The templates are
// laid out as the dialog manager lays them out (dialog units from the font's base units); at
// the screen's DPI that model is checked against a dialog really made from the template.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/module_instance.h"
#include "win32/raii.h"
#include "win32/ui_language.h"
#include "resource_ids/page_ids.h"
#include "resource_ids/resource.h"
#include "resource_ids/string_ids.h"
#include "support/dialog_layout.h"

namespace {

// Where the page puts its policy note, made at run time (dialog units; see ShowPolicyNote).
constexpr RECT kPolicyNoteUnits = {14, 103, 259, 119};

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

class LocalizedLayout : public ::testing::TestWithParam<UiLanguage> {};

TEST_P(LocalizedLayout, PageAndExitDialogShowEveryTextWholeAt96And144Dpi)
{
    const UiLanguage language = GetParam();
    const DLGTEMPLATE* page = FindUiDialog(ModuleInstance(), IDD_ADDINPROPERTYPAGE, language);
    const DLGTEMPLATE* exit = FindUiDialog(ModuleInstance(), IDD_EXITPROGDLG, language);
    ASSERT_NE(page, nullptr);
    ASSERT_NE(exit, nullptr);
    const std::wstring note = LoadUiString(ModuleInstance(), IDS_PAGE_POLICY_NOTE, language);
    for (int dpi : {96, 144}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        LaidOutDialog laidOut;
        ASSERT_TRUE(LayOutDialog(page, dpi, &laidOut));
        const std::vector<std::string> pageFaults =
            LayoutFaults(laidOut, dpi, {{"the policy note", kPolicyNoteUnits, note}});
        EXPECT_TRUE(pageFaults.empty()) << "options page:\n" << Joined(pageFaults);

        // The exit dialog's only text is its caption, drawn in the small caption font (a tool
        // window) between the frame's edges, with no buttons beside it.
        ASSERT_TRUE(LayOutDialog(exit, dpi, &laidOut));
        const std::vector<std::string> exitFaults = LayoutFaults(laidOut, dpi);
        EXPECT_TRUE(exitFaults.empty()) << "exit dialog:\n" << Joined(exitFaults);
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
        const UniqueWindowDc screen(nullptr);
        const int screenDpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
        metrics.lfSmCaptionFont.lfHeight = MulDiv(metrics.lfSmCaptionFont.lfHeight, dpi, screenDpi);
        const UniqueDc dc(CreateCompatibleDC(nullptr));
        const UniqueGdiObject captionFont(CreateFontIndirectW(&metrics.lfSmCaptionFont));
        const SelectObjectScope selected(dc.get(), captionFont.get());
        SIZE caption{};
        GetTextExtentPoint32W(dc.get(), laidOut.caption.c_str(), static_cast<int>(laidOut.caption.size()), &caption);
        EXPECT_LE(caption.cx + MulDiv(8, dpi, 96), laidOut.client.cx)
            << "exit dialog caption needs " << caption.cx << " px; the dialog is " << laidOut.client.cx << " px wide";
    }
}

// The delay box sits right after the end of its label's text, in every language as in English
// (6 pixels at 96 DPI), within 16: a label wider than its text leaves the box adrift from what it
// answers.
TEST_P(LocalizedLayout, DelayBoxFollowsItsLabelsText)
{
    const DLGTEMPLATE* page = FindUiDialog(ModuleInstance(), IDD_ADDINPROPERTYPAGE, GetParam());
    ASSERT_NE(page, nullptr);
    for (int dpi : {96, 144}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        LaidOutDialog laidOut;
        ASSERT_TRUE(LayOutDialog(page, dpi, &laidOut));
        const LaidOutControl* box = nullptr;
        for (const LaidOutControl& control : laidOut.controls)
            if (control.id == IDC_PAGE_DELAY)
                box = &control;
        ASSERT_NE(box, nullptr);
        // The label: the text on the box's row, left of it.
        const LaidOutControl* label = nullptr;
        for (const LaidOutControl& control : laidOut.controls)
            if (control.classOrdinal == 0x82 && !control.text.empty() && control.rect.right <= box->rect.left &&
                control.rect.bottom > box->rect.top && control.rect.top < box->rect.bottom)
                label = &control;
        ASSERT_NE(label, nullptr);
        const LONG gap = box->rect.left - (label->rect.left + TextWidth(laidOut, label->text));
        EXPECT_GE(gap, 0);
        EXPECT_LE(gap, MulDiv(16, dpi, 96)) << "the label's text ends " << gap << " px before the box; its text is "
                                             << MulDiv(TextWidth(laidOut, label->text), 4, laidOut.baseX) + 1
                                             << " DLU wide";
    }
}

TEST_P(LocalizedLayout, ModelMatchesADialogMadeFromTheTemplate)
{
    const DLGTEMPLATE* page = FindUiDialog(ModuleInstance(), IDD_ADDINPROPERTYPAGE, GetParam());
    ASSERT_NE(page, nullptr);
    const UniqueWindowDc screen(nullptr);
    LaidOutDialog laidOut;
    ASSERT_TRUE(LayOutDialog(page, GetDeviceCaps(screen.get(), LOGPIXELSY), &laidOut));
    HWND parent = CreateWindowExW(0, L"static", L"", WS_POPUP, 0, 0, 800, 800, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    HWND dialog = CreateDialogIndirectParamW(ModuleInstance(), page, parent, NoDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    EXPECT_EQ(units.right, laidOut.baseX);
    EXPECT_EQ(units.bottom, laidOut.baseY);
    // The font the controls really use is the template's face.
    LOGFONTW used{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(used), &used);
    EXPECT_STREQ(used.lfFaceName, laidOut.font.lfFaceName);
    for (const LaidOutControl& control : laidOut.controls) {
        if (control.id == static_cast<DWORD>(-1) || control.id == 0xFFFF)
            continue;
        RECT rect{};
        GetWindowRect(GetDlgItem(dialog, static_cast<int>(control.id)), &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.right - rect.left, control.rect.right - control.rect.left) << "control " << control.id;
    }
    DestroyWindow(parent);
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, LocalizedLayout, ::testing::ValuesIn(kUiLanguages),
                         [](const ::testing::TestParamInfo<UiLanguage>& info) {
                             std::string tag = UiLanguageTag(info.param);
                             tag.erase(tag.find('-'), 1);
                             return tag;
                         });

} // namespace
