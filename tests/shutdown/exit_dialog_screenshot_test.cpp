// Not a check: makes the picture of the exit progress dialog for the user guide. Disabled, so it
// runs only when scripts/screenshots.sh asks for it, with the BMP file's path in
// VANTREL_DIALOG_SCREENSHOT.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "resource.h"
#include "shutdown/exit_progress_dialog.h"
#include "support/page_host.h"

namespace {

TEST(ExitDialogScreenshot, DISABLED_SaveDialogPartWayThroughTheCountdown)
{
    const char* path = std::getenv("VANTREL_DIALOG_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "set VANTREL_DIALOG_SCREENSHOT to the BMP file to write";

    CExitProgDlg dialog;
    dialog.SetDelay(30);
    HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    SendDlgItemMessageA(window, IDC_EXIT_PROGRESS, PBM_SETPOS, 12, 0);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    GdiFlush();
    PageHost::PumpPending();
    EXPECT_TRUE(SaveWindowImage(window, path));
    DestroyWindow(window);
}

} // namespace
