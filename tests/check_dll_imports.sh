#!/bin/sh
# Vantrel.dll must load on a bare Windows: it may import only DLLs that Windows ships. msi.dll is
# not among them although Windows ships it: every Outlook that loads the add-in would load it
# too (some megabytes), and only the installer actions use it, which load it themselves. Nor
# VERSION.dll: it is no KnownDLL, and COM and regsvr32 load Vantrel.dll with the altered search
# path, so an import would be looked for first in the folder that holds Vantrel.dll; the page
# loads it from the system folder. COMCTL32.dll stays imported: Outlook has loaded it before the
# add-in, through its own activation context, which gives the version-6 controls.
# Usage: check_dll_imports.sh OBJDUMP DLL [x64|x86]
set -eu
objdump=$1
dll=$2
format=pei-x86-64
[ "${3:-x64}" = x86 ] && format=pei-i386
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|OLE32|OLEAUT32|SHELL32|SHLWAPI|COMCTL32|UXTHEME|PSAPI|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
"$objdump" -p "$dll" | grep -q "file format $format" || { echo "not a $format image: $dll"; exit 1; }
bad=0
for name in $("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
  if echo "$name" | grep -Eiq '^msi\.dll$'; then
    echo "BAD  $name (only the installer actions use it: they load it themselves)"
    bad=1
  elif echo "$name" | grep -Eiq '^version\.dll$'; then
    echo "BAD  $name (no KnownDLL: loaded from the system folder, never imported)"
    bad=1
  elif echo "$name" | grep -Eiq "$allowed"; then
    echo "ok   $name"
  else
    echo "BAD  $name"
    bad=1
  fi
done
exit $bad
