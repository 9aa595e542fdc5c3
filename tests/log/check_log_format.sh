#!/bin/sh
# Checks that the compiler checks LogMessage's format as the build compiles it: the sound calls
# of format_check/log_message_calls.cpp build, and a message passed as the format, or an
# argument of the wrong type, does not.
#   check_log_format.sh COMPILER SOURCE_ROOT FLAGS...
set -u
compiler=$1
source_root=$2
shift 2
calls=$(dirname "$0")/format_check/log_message_calls.cpp
out=$(mktemp)
trap 'rm -f "$out"' EXIT

compile() {
  "$compiler" -std=c++17 -fsyntax-only -Wall "$@" -I "$source_root/src" "$calls" >"$out" 2>&1
}

if ! compile "$@"; then
  echo "the sound calls do not build:"; cat "$out"; exit 1
fi
for fault in MESSAGE_AS_FORMAT WRONG_ARGUMENT; do
  if compile "$@" -D$fault -Werror=format; then
    echo "$fault builds: LogMessage's format is not checked"; exit 1
  fi
  if ! grep -Eq '\[-W(error=)?format' "$out"; then
    echo "$fault fails for another reason than its format:"; cat "$out"; exit 1
  fi
done
# What the build itself refuses, without asking for more than its own flags.
if compile "$@" -DMESSAGE_AS_FORMAT; then
  echo "the build's flags let a message passed as the format through"; exit 1
fi
echo "LogMessage's format is checked"
