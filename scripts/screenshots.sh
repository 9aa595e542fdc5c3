#!/usr/bin/env bash
# Remakes the pictures in docs/: the options page (docs/options-page.png), hosted in the tests'
# container, and the exit progress dialog (docs/exit-dialog.png), each drawn under Wine (its
# built-in theme on), copied from the screen inside Wine and converted with ImageMagick.
# Needs the build (scripts/build.sh); installs ImageMagick when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh imagemagick

cmake --build build --target settings_tests shutdown_tests >/dev/null

work=$(mktemp -d)
export VANTREL_WINEPREFIX="${VANTREL_WINEPREFIX:-$PWD/build/screenshot-prefix}"
# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start build
# Wine's drive Z: is the Unix root.
winwork="Z:${work//\//\\}"
VANTREL_PAGE_SCREENSHOT="$winwork\\page.bmp" "$WINE64" build/bin/settings_tests.exe \
  --gtest_also_run_disabled_tests --gtest_filter='OptionsPageScreenshot.*' </dev/null
VANTREL_DIALOG_SCREENSHOT="$winwork\\dialog.bmp" "$WINE64" build/bin/shutdown_tests.exe \
  --gtest_also_run_disabled_tests --gtest_filter='ExitDialogScreenshot.*' </dev/null
convert "$work/page.bmp" -strip docs/options-page.png
convert "$work/dialog.bmp" -strip docs/exit-dialog.png
echo "wrote docs/options-page.png and docs/exit-dialog.png"
