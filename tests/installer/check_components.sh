#!/bin/sh
# Every component of the package has the package's bitness, read from its Component table
# (attribute 256 = 64-bit) and its Summary Information's Template ("x64;1033" or "Intel;1033"),
# and the program folder is that bitness's. Windows Installer documents that a 32-bit package may
# hold only 32-bit components; wixl builds one with a 64-bit component anyway, and Wine installs
# it, so only the tables can show the fault.
#   check_components.sh MSIINFO PACKAGE x86|x64
set -eu
msiinfo=$1 package=$2 arch=$3
status=0
fail() { echo "$*" >&2; status=1; }

case $arch in
  x86) want_bit=0 want_template=Intel want_folder=ProgramFilesFolder ;;
  x64) want_bit=256 want_template=x64 want_folder=ProgramFiles64Folder ;;
  *) echo "usage: check_components.sh MSIINFO PACKAGE x86|x64" >&2; exit 2 ;;
esac

components=$("$msiinfo" export "$package" Component | tr -d '\r' | awk 'NR > 3')
[ -n "$components" ] || fail "the package has no components"
echo "$components" | while IFS="$(printf '\t')" read -r component id directory attributes rest; do
  if [ $((attributes & 256)) -ne "$want_bit" ]; then
    echo "component $component has attributes $attributes: not a $arch component" >&2
    exit 1
  fi
done || status=1

template=$("$msiinfo" suminfo "$package" | sed -n 's/^Template: //p' | tr -d '\r')
case $template in
  "$want_template;"*) ;;
  *) fail "the package's Template is '$template', not $want_template" ;;
esac

"$msiinfo" export "$package" Directory | tr -d '\r' | awk -F '\t' -v d="$want_folder" '$2 == "TARGETDIR" && $1 == d { found = 1 } END { exit !found }' ||
  fail "the program folder is not $want_folder"
exit $status
