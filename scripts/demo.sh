#!/usr/bin/env bash
# README command 1: installs what is missing, builds Vantrel.dll and its installer package,
# installs the package quietly with msiexec in a private Wine prefix, starts the simulated
# Outlook (which loads the installed add-in from Outlook's Addins key), closes its last Explorer
# window, shows what the add-in did about it (its log and its Event Log entries), does it again
# with an Outlook that keeps writing its data file after it was asked to quit (the add-in waits
# for the writes to stop), and removes the package again.
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

appdata=$(wine cmd /c 'echo %APPDATA%' </dev/null 2>/dev/null | tr -d '\r')
addin_log=$(winepath -u "$appdata\\Vantrel\\Vantrel.log")

# The Event Log entries of a run, as the simulated Outlook's stand-in for ReportEventW recorded
# them (Wine keeps no Event Log): ID, level and the entry's English text.
print_events() {
  tr -d '\r' <"$1" | awk '
    /^event [0-9]+ [0-9]+$/ { level = $2 == 1 ? "Error" : $2 == 2 ? "Warning" : "Information"; id = $3; n++ }
    /^event text / { sub(/^event text /, ""); sub(/ +$/, ""); printf "   %s  %-11s %s\n", id, level, $0 }
    END { if (!n) print "   (none)" }'
}

# run_outlook TITLE ARGS...: starts the simulated Outlook with ARGS, then shows what it saw, the
# add-in's log, the run's Event Log entries and how the process ended.
run_outlook() {
  local title=$1 log outlook_log start end code
  shift
  log=$(mktemp)
  outlook_log=$(win_path "$log")
  echo "== $title"
  start=$(date +%s.%N)
  set +e
  wine "$PWD/build/bin/sim/OUTLOOK.EXE" --log "$outlook_log" --record-events "$@" </dev/null
  code=$?
  set -e
  end=$(date +%s.%N)
  echo "-- What the simulated Outlook saw (its calls and window messages)"
  tr -d '\r' <"$log" | grep -v '^event ' | sed 's/^/   /'
  echo "-- The add-in's log (%APPDATA%\\Vantrel\\Vantrel.log)"
  tr -d '\r' <"$addin_log" | sed 's/^/   /'
  echo "-- The run's Event Log entries (Application log, source \"Vantrel\")"
  print_events "$log"
  printf -- '-- OUTLOOK.EXE ended after %.1f s with exit code %d (0: ended by Vantrel)\n' \
    "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$code"
  rm -f "$log"
}

run_outlook "Starting the simulated Outlook and closing its last Explorer window" close-last

# Outlook's own shutdown work: after Vantrel asked it to quit, the simulated Outlook keeps
# appending to its data file for 5 seconds. Vantrel's countdown is 1 second; it then holds the
# end until the file has stopped changing (two quiet samples a second apart).
store_dir=$(mktemp -d)
store="$store_dir/Outlook.pst"
: >"$store"
wine reg add 'HKCU\SOFTWARE\Vantrel' /v Delay /t REG_SZ /d 1 /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\SOFTWARE\Vantrel' /v ShowExitDialog /t REG_SZ /d 0 /f </dev/null >/dev/null 2>&1
echo
echo "== Settings for the second run: Delay = \"1\", ShowExitDialog = \"0\", WaitForWrites not set (60 s)"
run_outlook "A simulated Outlook that writes its data file for 5 s after it was asked to quit" \
  --stores "$(win_path "$store")" --write-after-quit "$(win_path "$store")=5000" close-last
printf -- '-- The data file %s holds %d bytes; the add-in ended Outlook after the writes stopped\n' \
  "$(win_path "$store")" "$(stat -c %s "$store")"
rm -rf "$store_dir"

echo "== Removing the package (msiexec /x /qn)"
wine msiexec /x "$package" /qn </dev/null
if [ -e "$(winepath -u "$installed")" ]; then echo "   $installed is still there"; else echo "   $installed is gone"; fi
