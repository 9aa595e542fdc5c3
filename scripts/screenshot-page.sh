#!/usr/bin/env bash
# Remakes docs/options-page.png: the options page's window, hosted in the tests' container under
# Wine (its built-in theme on), copied from the screen inside Wine and converted with ImageMagick.
# Needs the build (scripts/build.sh), Xvfb and ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build build --target settings_tests >/dev/null

work=$(mktemp -d)
export VANTREL_WINEPREFIX="${VANTREL_WINEPREFIX:-$PWD/build/screenshot-prefix}"
# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start build
# Wine's drive Z: is the Unix root.
VANTREL_PAGE_SCREENSHOT="Z:${work//\//\\}\\page.bmp" "$WINE64" build/bin/settings_tests.exe \
  --gtest_also_run_disabled_tests --gtest_filter='OptionsPageScreenshot.*' </dev/null
convert "$work/page.bmp" -strip docs/options-page.png
echo "wrote docs/options-page.png"
