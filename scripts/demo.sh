#!/usr/bin/env bash
# README command 1: installs what is missing, builds Vantrel.dll and its installer package,
# installs the package quietly with msiexec in a private Wine prefix, starts the simulated
# Outlook (which loads the installed add-in from Outlook's Addins key), closes its last Explorer
# window, shows what the add-in did about it, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh

source scripts/wine-session.sh
export VANTREL_WINEPREFIX="${VANTREL_WINEPREFIX:-$PWD/build/demo-prefix}"
trap wine_session_stop EXIT
wine_session_start build

wine() { "$WINE64" "$@"; }
win_path() { winepath -w "$1" 2>/dev/null || echo "Z:${1//\//\\}"; }
winepath() { "$WINE64" winepath "$@"; }

version=$(sed -n 's/^VANTREL_PRODUCT_VERSION:INTERNAL=//p' build/CMakeCache.txt)
package=$(win_path "$PWD/build/Vantrel-$version-x64.msi")
echo "== Installing $package (msiexec /i /qn)"
wine msiexec /i "$package" /qn </dev/null
installed=$(wine reg query 'HKCR\CLSID\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}\InprocServer32' /ve </dev/null 2>/dev/null |
  tr -d '\r' | sed -n 's/.*REG_SZ *//p')
echo "   Vantrel.Connect is served by $installed"
wine reg query 'HKLM\Software\Microsoft\Office\Outlook\Addins\Vantrel.Connect' </dev/null 2>/dev/null | tr -d '\r' | sed '/^$/d'

echo "== Example settings (HKCU\\SOFTWARE\\Vantrel)"
for setting in "Enabled 1" "ShowExitDialog 1" "CloseWinWord 0" "Delay 3"; do
  set -- $setting
  wine reg add 'HKCU\SOFTWARE\Vantrel' /v "$1" /t REG_SZ /d "$2" /f </dev/null >/dev/null 2>&1
  echo "   $1 = \"$2\""
done

log=$(mktemp)
outlook_log=$(win_path "$log")
echo "== Starting the simulated Outlook and closing its last Explorer window"
start=$(date +%s.%N)
set +e
wine "$PWD/build/bin/sim/OUTLOOK.EXE" --log "$outlook_log" close-last </dev/null
code=$?
set -e
end=$(date +%s.%N)

echo "== What the simulated Outlook saw (its calls and window messages)"
tr -d '\r' <"$log" | sed 's/^/   /'
echo "== The add-in's log (%APPDATA%\\Vantrel\\Vantrel.log)"
appdata=$(wine cmd /c 'echo %APPDATA%' </dev/null 2>/dev/null | tr -d '\r')
tr -d '\r' <"$(winepath -u "$appdata\\Vantrel\\Vantrel.log")" | sed 's/^/   /'
printf '== OUTLOOK.EXE ended after %.1f s with exit code %d (0: ended by Vantrel after Delay + 2 s)\n' \
  "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$code"
rm -f "$log"

echo "== Removing the package (msiexec /x /qn)"
wine msiexec /x "$package" /qn </dev/null
if [ -e "$(winepath -u "$installed")" ]; then echo "   $installed is still there"; else echo "   $installed is gone"; fi
