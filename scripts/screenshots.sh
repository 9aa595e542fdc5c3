#!/usr/bin/env bash
# Remakes the pictures in docs/: the options page (docs/options-page.png, and in each translation
# docs/options-page-<language>.png; with the delay enforced by a policy, so that the page shows its
# note, docs/options-page-policy-<language>.png in every language), hosted in the tests'
# container, and the exit progress dialog
# (docs/exit-dialog.png), each drawn under Wine (its built-in theme on), copied from the screen
# inside Wine and converted with ImageMagick.
# Needs the build (scripts/build.sh); installs ImageMagick and Wine's own fonts when missing.
#
# The pictures are meant to show the dialogs as Windows draws them at 96 DPI, and a dialog's size
# follows its font: a dialog unit is a quarter of the font's average character width and an eighth
# of its height. Without Wine's own fonts, "MS Sans Serif" (the options page's font) and
# "MS Shell Dlg" (the exit dialog's) both fall back to DejaVu Sans, whose 8 pt average width is
# 7 pixels instead of Windows' 6: everything comes out a sixth wider and longer labels wrap or
# are cut. fonts-wine has Wine's metric-compatible replacements (a bitmap "MS Sans Serif" with
# Windows' 13-pixel metrics, and "Tahoma", which Wine puts behind "MS Shell Dlg"), but Debian's
# Wine 8 never finds them where the package puts them (it asks for "/usr/share/wine/../fonts"
# through an NT path, which cannot hold ".."). So wine_session_start copies them into the
# prefix's C:\windows\Fonts, where Wine does look, with the face that carries the Japanese and
# Chinese pages' glyphs (scripts/wine-session.sh); every session's prefix has them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh imagemagick fonts-wine fonts-wqy-microhei fonts-noto-cjk

cmake --build build --target settings_tests shutdown_tests >/dev/null

work=$(mktemp -d)
export VANTREL_WINEPREFIX="${VANTREL_WINEPREFIX:-$PWD/build/screenshot-prefix}"
# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start build
# Only this prefix: Windows' usual 96 DPI pinned rather than assumed.
"$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f </dev/null >/dev/null 2>&1
# Text drawn smoothed (grey antialiasing), as Windows draws it by default.
"$WINE64" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 2 /f </dev/null >/dev/null 2>&1
"$WINE64" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingType /t REG_DWORD /d 1 /f </dev/null >/dev/null 2>&1
# Wine's drive Z: is the Unix root.
winwork="Z:${work//\//\\}"
VANTREL_PAGE_SCREENSHOT="$winwork\\page.bmp" "$WINE64" build/bin/settings_tests.exe \
  --gtest_also_run_disabled_tests --gtest_filter='OptionsPageScreenshot.*' </dev/null
VANTREL_DIALOG_SCREENSHOT="$winwork\\dialog.bmp" "$WINE64" build/bin/shutdown_tests.exe \
  --gtest_also_run_disabled_tests --gtest_filter='ExitDialogScreenshot.*' </dev/null
convert "$work/page.bmp" -strip docs/options-page.png
for language in de-DE fr-FR es-ES it-IT pt-BR ja-JP zh-CN; do
  VANTREL_PAGE_LANGUAGE=$language VANTREL_PAGE_SCREENSHOT="$winwork\\page-$language.bmp" "$WINE64" \
    build/bin/settings_tests.exe --gtest_also_run_disabled_tests --gtest_filter='OptionsPageScreenshot.*' </dev/null
  convert "$work/page-$language.bmp" -strip "docs/options-page-$language.png"
done
for language in en-US de-DE fr-FR es-ES it-IT pt-BR ja-JP zh-CN; do
  VANTREL_PAGE_ENFORCED=1 VANTREL_PAGE_LANGUAGE=$language VANTREL_PAGE_SCREENSHOT="$winwork\\policy-$language.bmp" \
    "$WINE64" build/bin/settings_tests.exe --gtest_also_run_disabled_tests \
    --gtest_filter='OptionsPageScreenshot.*' </dev/null
  convert "$work/policy-$language.bmp" -strip "docs/options-page-policy-$language.png"
done
convert "$work/dialog.bmp" -strip docs/exit-dialog.png
echo "wrote docs/options-page.png, docs/options-page-*.png and docs/exit-dialog.png"
