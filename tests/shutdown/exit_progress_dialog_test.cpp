#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "win32/module_instance.h"
#include "resource.h"
#include "shutdown/exit_progress_dialog.h"

namespace {

// Reads an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items).
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}

    bool ok() const { return m_ok; }
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    BYTE Byte() { return Read<BYTE>(); }
    void AlignToDword() { m_offset = (m_offset + 3) & ~size_t(3); }

    // A zero-terminated UTF-16 string, kept only if it is ASCII.
    std::string Text()
    {
        std::string text;
        for (WORD c = Word(); m_ok && c != 0; c = Word())
            text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return text;
    }
    // A "string or ordinal" field: "" for none, "#n" for an ordinal, else the string.
    std::string TextOrOrdinal()
    {
        const WORD first = Read<WORD>(false);
        if (first == 0) {
            Word();
            return "";
        }
        if (first == 0xFFFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }

private:
    template <typename T>
    T Read(bool advance = true)
    {
        T value{};
        if (m_offset + sizeof(T) > m_size) {
            m_ok = false;
            return value;
        }
        std::memcpy(&value, m_data + m_offset, sizeof(T));
        if (advance)
            m_offset += sizeof(T);
        return value;
    }

    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_ok = true;
};

TEST(ExitProgressDialogTemplate, IsTheExtendedTemplateOf215)
{
    const HMODULE module = ModuleInstance();
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDD_EXITPROGDLG), MAKEINTRESOURCEA(5) /*RT_DIALOG*/);
    ASSERT_NE(resource, nullptr);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    ASSERT_NE(data, nullptr);
    TemplateReader t(data, SizeofResource(module, resource));

    EXPECT_EQ(t.Word(), 1);      // dlgVer
    EXPECT_EQ(t.Word(), 0xFFFF); // signature: extended template
    EXPECT_EQ(t.Dword(), 0u);    // help id
    EXPECT_EQ(t.Dword(), 0x80u); // WS_EX_TOOLWINDOW
    EXPECT_EQ(t.Dword(), 0x80C000C8u); // WS_POPUP WS_CAPTION DS_MODALFRAME DS_SETFONT DS_FIXEDSYS; hidden
    EXPECT_EQ(t.Word(), 1);      // one control
    EXPECT_EQ(t.Short(), 0);
    EXPECT_EQ(t.Short(), 0);
    EXPECT_EQ(t.Short(), 204);
    EXPECT_EQ(t.Short(), 18);
    EXPECT_EQ(t.TextOrOrdinal(), ""); // no menu
    EXPECT_EQ(t.TextOrOrdinal(), ""); // standard dialog class
    EXPECT_EQ(t.Text(), "Vantrel - Exiting Outlook...");
    EXPECT_EQ(t.Word(), 8);   // points
    EXPECT_EQ(t.Word(), 400); // weight
    EXPECT_EQ(t.Byte(), 0);   // not italic
    EXPECT_EQ(t.Byte(), DEFAULT_CHARSET);
    EXPECT_EQ(t.Text(), "MS Shell Dlg");

    t.AlignToDword();
    EXPECT_EQ(t.Dword(), 0u);          // help id
    EXPECT_EQ(t.Dword(), 0u);          // extended style
    EXPECT_EQ(t.Dword(), 0x50800000u); // WS_CHILD WS_VISIBLE WS_BORDER
    EXPECT_EQ(t.Short(), 7);
    EXPECT_EQ(t.Short(), 7);
    EXPECT_EQ(t.Short(), 190);
    EXPECT_EQ(t.Short(), 7);
    EXPECT_EQ(t.Dword(), 228u);
    // GNU windres stores control class names upper-cased; class names ignore case.
    EXPECT_EQ(_stricmp(t.TextOrOrdinal().c_str(), "msctls_progress32"), 0);
    EXPECT_EQ(t.TextOrOrdinal(), "");
    EXPECT_EQ(t.Word(), 0); // no creation data
    EXPECT_TRUE(t.ok());
}

HWND Progress(HWND dialog)
{
    return GetDlgItem(dialog, IDC_EXIT_PROGRESS);
}

LRESULT RangeMaximum(HWND dialog)
{
    return SendMessageA(Progress(dialog), PBM_GETRANGE, FALSE, 0);
}

void TakeWaitingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TEST(CExitProgDlg, CreateShowsTheBarAtZeroCentredInTheWorkArea)
{
    CExitProgDlg dialog;
    dialog.SetDelay(10);
    EXPECT_EQ(dialog.Window(), nullptr);
    const HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(dialog.Window(), window);
    EXPECT_EQ(dialog.Create(nullptr), window) << "one window per object";

    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof(caption));
    EXPECT_STREQ(caption, "Vantrel - Exiting Outlook...");
    EXPECT_TRUE(IsWindowVisible(window));
    char className[64] = {};
    GetClassNameA(Progress(window), className, sizeof(className));
    EXPECT_STREQ(className, PROGRESS_CLASSA);
    EXPECT_EQ(SendMessageA(Progress(window), PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(RangeMaximum(window), 10);
    EXPECT_EQ(SendMessageA(Progress(window), PBM_GETPOS, 0, 0), 0);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor));
    RECT rect{};
    GetWindowRect(window, &rect);
    const RECT& work = monitor.rcWork;
    EXPECT_NEAR((rect.left + rect.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, (work.top + work.bottom) / 2, 1);

    DestroyWindow(window);
    EXPECT_EQ(dialog.Window(), nullptr);
}

// Each shown dialog costs about two seconds under Wine on a display without a window manager
// (hiding a mapped window waits for one), so the tables are short.
TEST(CExitProgDlg, RangeMaximumIsTheDelayAndNeverBelowZero)
{
    // Beyond 16 bits too: a bar that wrapped at 65536 would be full long before the end.
    const struct {
        int delay;
        LRESULT maximum;
    } cases[] = {{0, 0}, {70000, 70000}, {-5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delay);
        HWND window = nullptr;
        {
            CExitProgDlg dialog;
            dialog.SetDelay(c.delay);
            window = dialog.Create(nullptr);
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(RangeMaximum(window), c.maximum);
            EXPECT_EQ(SendMessageA(Progress(window), PBM_GETPOS, 0, 0), 0);
        }
        // A window left alive goes with its object, which it would otherwise outlive.
        EXPECT_FALSE(IsWindow(window));
    }
}

TEST(CExitProgDlg, OkOrCancelCommandHidesWithoutDestroying)
{
    const struct {
        const char* what;
        UINT message;
        WPARAM wParam;
        bool hidden;
    } cases[] = {
        {"IDOK", WM_COMMAND, MAKEWPARAM(IDOK, 0), true},
        {"asked to close (IDCANCEL)", WM_CLOSE, 0, true},
        {"IDCANCEL with a notification", WM_COMMAND, MAKEWPARAM(IDCANCEL, 1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CExitProgDlg dialog;
        dialog.SetDelay(5);
        const HWND window = dialog.Create(nullptr);
        ASSERT_NE(window, nullptr);
        SendMessageA(window, c.message, c.wParam, 0);
        TakeWaitingMessages(); // the default handling of WM_CLOSE posts its IDCANCEL

        EXPECT_EQ(IsWindowVisible(window) == FALSE, c.hidden);
        // Still there for the worker, which goes on advancing the bar until it destroys it.
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(dialog.Window(), window);
        SendMessageA(Progress(window), PBM_SETPOS, 3, 0);
        EXPECT_EQ(SendMessageA(Progress(window), PBM_GETPOS, 0, 0), 3);
    }
}

// Any process on the desktop can send the dialog WM_INITDIALOG: only the one of its own creation
// counts, whatever object a later one names (another dialog's here, which a taken message
// would rebind the window to and re-range).
TEST(CExitProgDlg, OnlyTheCreationsInitDialogIsTaken)
{
    CExitProgDlg dialog;
    dialog.SetDelay(5);
    const HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    CExitProgDlg other;
    other.SetDelay(70);
    SendMessageA(window, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&other));
    SendMessageA(window, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&dialog));
    EXPECT_EQ(other.Window(), nullptr);
    EXPECT_EQ(dialog.Window(), window);
    EXPECT_EQ(RangeMaximum(window), 5);
    SendMessageA(Progress(window), PBM_SETPOS, 3, 0);
    SendMessageA(window, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&dialog));
    EXPECT_EQ(SendMessageA(Progress(window), PBM_GETPOS, 0, 0), 3) << "initialised again";
}

} // namespace
