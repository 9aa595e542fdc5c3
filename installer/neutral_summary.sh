#!/bin/sh
# Makes the package's summary language-neutral: its Template becomes "<platform>;0", matching
# the ProductLanguage 0 of the Property table (wixl writes language 1033 there whatever the
# Product's Language). The subject, author and package code stay as wixl wrote them.
#   neutral_summary.sh MSIINFO MSIBUILD PACKAGE
set -eu
msiinfo=$1 msibuild=$2 package=$3
summary=$("$msiinfo" suminfo "$package")
field() { printf '%s\n' "$summary" | sed -n "s/^$1: //p"; }
platform=$(field Template | cut -d ';' -f 1)
"$msibuild" "$package" -s "$(field Subject)" "$(field Author)" "$platform;0" "$(field 'Revision number (UUID)')"
