#!/bin/sh
# The shipped DLL: under 1 MiB, without symbols or debug sections, and linked by .gnu_debuglink
# to the debug file beside it, which holds the debug information.
#   check_release_dll.sh OBJDUMP RELEASE_DLL
set -eu
objdump=$1 dll=$2
size=$(stat -c %s "$dll")
echo "release Vantrel.dll: $size bytes; debug file: $(stat -c %s "$dll.debug") bytes"
[ "$size" -lt 1048576 ] || { echo "the release DLL is 1 MiB or more" >&2; exit 1; }
sections=$("$objdump" -h "$dll")
if echo "$sections" | grep -q '\.debug_'; then
  echo "the release DLL carries debug sections" >&2
  exit 1
fi
echo "$sections" | grep -q '\.gnu_debuglink' || { echo "no debug link" >&2; exit 1; }
"$objdump" -h "$dll.debug" | grep -q '\.debug_info' || { echo "the debug file holds no debug information" >&2; exit 1; }
if "$objdump" -t "$dll" | grep -q '\[ *[0-9]*\](sec'; then
  echo "the release DLL carries a symbol table" >&2
  exit 1
fi
