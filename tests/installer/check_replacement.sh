#!/bin/sh
# One package installed where the other is replaces it (both share the UpgradeCode), so that a
# machine never has Vantrel registered for both Office bitnesses; each removes everything again.
# Runs in a mixed prefix (64-bit Windows with its 32-bit side, where the registry's two views
# differ): the x64 package cannot install in a 32-bit prefix, so there it is skipped (exit 77).
#   check_replacement.sh X64_PACKAGE X86_PACKAGE
# The session (scripts/wine-session.sh x86-mixed) gives WINEPREFIX, WINEARCH and VANTREL_WINE_X86.
set -u
x64_package=$1 x86_package=$2
if [ "${WINEARCH:-}" != win64 ] || [ -z "${VANTREL_WINE_X86:-}" ]; then
  echo "skipped: needs the mixed prefix (wine_session_start build-x86 x86-mixed)"
  exit 77
fi
if [ ! -f "$x64_package" ]; then
  echo "the x64 package $x64_package is missing: build both (scripts/test.sh does)" >&2
  exit 1
fi
wine=$VANTREL_WINE_X86
status=0
fail() { echo "$*" >&2; status=1; }
win_path() { printf 'Z:%s' "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | sed 's|/|\\|g'; }
msiexec() { timeout 300 "$wine" msiexec "$@" </dev/null >/dev/null 2>&1; }
# Whether a key exists in one view: 32 or 64.
has_key() { timeout 60 "$wine" reg query "$1" "/reg:$2" </dev/null >/dev/null 2>&1; }
drive_c=$WINEPREFIX/drive_c

connect='HKLM\Software\Classes\CLSID\{A3D95E10-7C42-4F8B-B1E6-0D4C93A2F518}'
addin='HKLM\Software\Microsoft\Office\Outlook\Addins\Vantrel.Connect'
defaults='HKLM\SOFTWARE\Vantrel'

# expect BITNESS: Vantrel registered for that bitness's Office only (or none), the machine's
# defaults in the 64-bit view only while a package is installed.
expect() {
  step=$1 want=$2
  for view in 32 64; do
    for key in "$connect" "$addin"; do
      if [ "$view" = "$want" ]; then
        has_key "$key" "$view" || fail "$step: $key missing from the $view-bit view"
      else
        has_key "$key" "$view" && fail "$step: $key in the $view-bit view"
      fi
    done
  done
  if [ "$want" = none ]; then
    has_key "$defaults" 64 && fail "$step: the machine's defaults are left in the 64-bit view"
    [ -e "$drive_c/Program Files/Vantrel/Vantrel.dll" ] && fail "$step: Program Files\\Vantrel\\Vantrel.dll is left"
    [ -e "$drive_c/Program Files (x86)/Vantrel/Vantrel.dll" ] && fail "$step: Program Files (x86)\\Vantrel\\Vantrel.dll is left"
  else
    has_key "$defaults" 64 || fail "$step: no machine defaults in the 64-bit view"
    has_key "$defaults" 32 && fail "$step: machine defaults in the 32-bit view"
    if [ "$want" = 64 ]; then
      [ -e "$drive_c/Program Files/Vantrel/Vantrel.dll" ] || fail "$step: Vantrel.dll is not in Program Files"
      [ -e "$drive_c/Program Files (x86)/Vantrel/Vantrel.dll" ] && fail "$step: the x86 Vantrel.dll is left"
    else
      [ -e "$drive_c/Program Files (x86)/Vantrel/Vantrel.dll" ] || fail "$step: Vantrel.dll is not in Program Files (x86)"
      [ -e "$drive_c/Program Files/Vantrel/Vantrel.dll" ] && fail "$step: the x64 Vantrel.dll is left"
    fi
  fi
}

x64=$(win_path "$x64_package")
x86=$(win_path "$x86_package")
# A prefix that an earlier run left with a product installed starts empty.
msiexec /x "$x64" /qn
msiexec /x "$x86" /qn
msiexec /i "$x64" /qn || fail "the x64 package did not install"
expect "x64 installed" 64
msiexec /i "$x86" /qn DELAY=7 || fail "the x86 package did not install over the x64 one"
expect "x86 over x64" 32
timeout 60 "$wine" reg query "$defaults" /v Delay /reg:64 </dev/null 2>/dev/null | grep -q 'REG_SZ[[:space:]]*7' ||
  fail "x86 over x64: the 64-bit view's Delay is not the 7 given"
msiexec /i "$x64" /qn || fail "the x64 package did not install over the x86 one"
expect "x64 over x86" 64
msiexec /x "$x64" /qn || fail "the x64 package was not removed"
expect "x64 removed" none
msiexec /i "$x86" /qn || fail "the x86 package did not install"
expect "x86 installed" 32
msiexec /x "$x86" /qn || fail "the x86 package was not removed"
expect "x86 removed" none
exit $status
