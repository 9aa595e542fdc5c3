// The exit progress dialog in the add-in's language: its caption, read back with the wide call.
#include <gtest/gtest.h>

#include <windows.h>

#include "win32/ui_language.h"
#include "shutdown/exit_progress_dialog.h"

namespace {

TEST(CExitProgDlg, CaptionIsInTheAddinsLanguage)
{
    const struct {
        UiLanguage language;
        const wchar_t* caption;
    } cases[] = {
        {UiLanguage::German, L"Vantrel - Outlook wird beendet..."},
        {UiLanguage::French, L"Vantrel - Fermeture d'Outlook en cours..."},
        {UiLanguage::Japanese, L"Vantrel - Outlook \u3092\u7D42\u4E86\u3057\u3066\u3044\u307E\u3059..."},
        {UiLanguage::SimplifiedChinese, L"Vantrel - \u6B63\u5728\u9000\u51FA Outlook..."},
        {UiLanguage::English, L"Vantrel - Exiting Outlook..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(UiLanguageTag(c.language));
        SetUiLanguage(c.language);
        CExitProgDlg dialog;
        dialog.SetDelay(1);
        const HWND window = dialog.Create(nullptr);
        ASSERT_NE(window, nullptr);
        wchar_t caption[128] = {};
        GetWindowTextW(window, caption, 128);
        EXPECT_STREQ(caption, c.caption);
        DestroyWindow(window);
    }
    SetUiLanguage(UiLanguage::English);
}

} // namespace
