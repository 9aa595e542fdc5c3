#!/bin/sh
# Vantrel.dll exports exactly the names that COM and regsvr32 (DllGetClassObject, ...) and the
# installer packages (Install, ..., the Commit and Rollback actions' names) look up, in both
# builds. An x86 build without Vantrel.def's names would export stdcall names such as
# "DllGetClassObject@12", which nothing finds.
# Usage: check_dll_exports.sh OBJDUMP DLL
set -eu
objdump=$1 dll=$2
expected='?Commit@@YAKK@Z
?Rollback@@YAKK@Z
ApplyMachineDefaults
DllCanUnloadNow
DllGetClassObject
DllRegisterServer
DllUnregisterServer
Install
InstallerMessages
PostInstall
PrepareMachineDefaults
Uninstall'
actual=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort)
if [ "$actual" != "$(printf '%s\n' "$expected" | LC_ALL=C sort)" ]; then
  echo "exports of $dll:" >&2
  echo "$actual" >&2
  echo "expected:" >&2
  echo "$expected" >&2
  exit 1
fi
