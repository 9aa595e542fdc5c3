// Lays a DIALOGEX template out as the dialog manager does, at any DPI (its font made at that
// DPI, dialog units turned into pixels with that font's base units), and finds what a reader
// would see wrong: a text wider or taller than its control, a character the control's font has
// no glyph for, controls whose texts overlap.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct LaidOutControl {
    DWORD id;
    WORD classOrdinal; // 0x80 button, 0x81 edit, 0x82 static (given by name or ordinal), 0 others
    DWORD style;
    RECT rect;         // pixels, in the dialog's client area
    std::wstring text;
};

struct LaidOutDialog {
    LOGFONTW font;     // the template's font at the DPI
    int baseX = 0;     // dialog base units of that font, in pixels
    int baseY = 0;
    SIZE client{};     // pixels
    std::wstring caption;
    std::vector<LaidOutControl> controls;
};

// False when the template cannot be read (only DIALOGEX with DS_SETFONT).
bool LayOutDialog(const void* dialogTemplate, int dpi, LaidOutDialog* out);
// Dialog units to pixels for this layout.
RECT DialogUnitsToPixels(const LaidOutDialog& dialog, RECT units);

// One line per fault, naming the control and the text; empty when everything shows whole.
// extraTexts: texts made at run time in the dialog's font (rect in dialog units; wrapped).
struct ExtraText {
    const char* what;
    RECT units;
    std::wstring text;
};
std::vector<std::string> LayoutFaults(const LaidOutDialog& dialog, int dpi, const std::vector<ExtraText>& extraTexts = {});

// The width in pixels of text in the dialog's font (one line, no prefix processing).
LONG TextWidth(const LaidOutDialog& dialog, const std::wstring& text);
