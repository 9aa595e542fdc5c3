#!/bin/sh
# The package's own messages and languages, read from its tables (Wine ignores ProductLanguage
# and the summary's Template, so only the tables can show them):
# - ProductLanguage is 0 (language-neutral) and the summary's Template names language 0 too, so
#   that Windows Installer's own dialogs and messages follow Windows' language.
# - Every launch condition shows a message property, [VANTREL_MSG_...], never a text of its own.
# - The action that sets those properties from the DLL (InstallerMessages, immediate) runs before
#   LaunchConditions in both sequences, and FindRelatedProducts (which detects a downgrade)
#   before LaunchConditions as well.
# - Every table is ASCII: wixl writes code page 0, in which other text is lost.
#   check_installer_messages.sh MSIINFO PACKAGE
set -eu
msiinfo=$1 package=$2
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
status=0
fail() { echo "$*" >&2; status=1; }

"$msiinfo" export "$package" Property | tr -d '\r' > "$tables/properties"
language=$(awk -F '\t' 'FNR > 3 && $1 == "ProductLanguage" { print $2 }' "$tables/properties")
[ "$language" = "0" ] || fail "ProductLanguage is '$language', not 0"
template=$("$msiinfo" suminfo "$package" | sed -n 's/^Template: //p')
case "$template" in
  *";0") ;;
  *) fail "the summary's Template is '$template', not language 0" ;;
esac

"$msiinfo" export "$package" LaunchCondition | tr -d '\r' > "$tables/conditions"
conditions=$(awk 'FNR > 3' "$tables/conditions" | wc -l)
[ "$conditions" -ge 5 ] || fail "expected the four Office conditions and the downgrade's, found $conditions"
own=$(awk -F '\t' 'FNR > 3 && $2 !~ /^\[VANTREL_MSG_(NEEDS64|NEEDS32|DOWNGRADE)\]$/ { print $2 }' "$tables/conditions")
[ -z "$own" ] || fail "launch conditions that show a text of their own: $own"
for name in VANTREL_MSG_NEEDS64 VANTREL_MSG_NEEDS32 VANTREL_MSG_DOWNGRADE; do
  value=$(awk -F '\t' -v n="$name" 'FNR > 3 && $1 == n { print $2 }' "$tables/properties")
  [ -n "$value" ] || fail "$name has no English default in the Property table"
done

"$msiinfo" export "$package" CustomAction | tr -d '\r' > "$tables/actions"
action=$(awk -F '\t' 'FNR > 3 && $4 == "InstallerMessages" && $2 % 64 == 1 && int($2 / 1024) % 2 == 0 { print $1 }' "$tables/actions")
[ -n "$action" ] || fail "no immediate DLL action calls InstallerMessages"
for sequence in InstallExecuteSequence InstallUISequence; do
  "$msiinfo" export "$package" $sequence | tr -d '\r' > "$tables/sequence"
  at() { awk -F '\t' -v a="$1" 'FNR > 3 && $1 == a && $2 == "" { print $3 }' "$tables/sequence"; }
  launch=$(at LaunchConditions) messages=$(at "$action") related=$(at FindRelatedProducts)
  [ -n "$launch" ] || fail "$sequence has no LaunchConditions"
  [ -n "$messages" ] && [ "$messages" -lt "${launch:-0}" ] ||
    fail "$sequence runs $action at '$messages' (unconditioned), not before LaunchConditions at '$launch'"
  [ -n "$related" ] && [ "$related" -lt "${launch:-0}" ] ||
    fail "$sequence finds related products at '$related', not before LaunchConditions at '$launch'"
done

for table in $("$msiinfo" tables "$package"); do
  if "$msiinfo" export "$package" "$table" | tr -d '\r\n\t' | LC_ALL=C grep -q '[^ -~]'; then
    fail "table $table holds characters beyond ASCII"
  fi
done
[ $status -ne 0 ] || echo "ProductLanguage 0, Template '$template'; $conditions launch conditions show [VANTREL_MSG_...], set by $action before LaunchConditions"
exit $status
