#!/bin/sh
# The package's Start-menu actions and the removal of an older version, read from its
# CustomAction and InstallExecuteSequence tables (Wine's msiexec runs every action with full rights
# and cannot roll a removal of an older version back, so only the tables can show these).
# Immediate actions run with the user's own token, which under UAC is not elevated even in a
# per-machine installation, so the actions that create or delete the all-users Start-menu folder
# must be deferred without impersonation (type 3137) inside the script (between
# InstallInitialize and InstallFinalize): Install after the files are written, Uninstall before
# they are removed. Each has a rollback action (deferred, rollback, no impersonation: type 3393)
# scheduled before it with the same condition, which undoes it: Uninstall before the elevated
# Install, Install before the elevated Uninstall (a rollback action undoes only what follows it
# in the script). The immediate Install, which hands both rollbacks what it found, runs in every
# run before InstallInitialize. No Uninstall may run before InstallValidate, and an immediate one
# only after InstallFinalize (it deletes nothing; it asks Outlook to close once the script ran).
# RemoveExistingProducts runs right after InstallInitialize, inside this installation's
# transaction, so that a failed installation brings the older version back.
# PostInstall starts Outlook, which must run with the user's own token: it runs immediate in
# InstallUISequence after ExecuteAction (in the client process), never in the execute sequence,
# which runs inside the installer's elevated server.
#   check_action_sequence.sh MSIINFO PACKAGE
set -eu
msiinfo=$1 package=$2
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
"$msiinfo" export "$package" CustomAction > "$tables/actions"
"$msiinfo" export "$package" InstallExecuteSequence > "$tables/sequence"
"$msiinfo" export "$package" InstallUISequence > "$tables/ui_sequence"

# One line per sequenced action: "action<TAB>type<TAB>entry<TAB>sequence<TAB>condition"; standard
# actions have type and entry "-". The first three lines of an exported table are its header.
join_actions() {
  awk -F '\t' 'NR == FNR { if (FNR > 3) { type[$1] = $2; entry[$1] = $4 } next }
               FNR > 3 { t = ($1 in type) ? type[$1] : "-"; e = ($1 in entry) ? entry[$1] : "-"
                         print $1 "\t" t "\t" e "\t" $3 "\t" $2 }' \
    "$tables/actions" "$1" | tr -d '\r'
}
join_actions "$tables/sequence" > "$tables/joined"
join_actions "$tables/ui_sequence" > "$tables/ui_joined"
# The package's own actions in their order, for the test's output.
echo "InstallExecuteSequence:"
awk -F '\t' '$2 != "-"' "$tables/joined" | sort -t "$(printf '\t')" -k4,4n
echo "InstallUISequence:"
awk -F '\t' '$2 != "-"' "$tables/ui_joined" | sort -t "$(printf '\t')" -k4,4n

place() { awk -F '\t' -v a="$1" '$1 == a { print $4 }' "$tables/joined"; }
validate=$(place InstallValidate) initialize=$(place InstallInitialize) finalize=$(place InstallFinalize)
install_files=$(place InstallFiles) remove_files=$(place RemoveFiles)
for value in "$validate" "$initialize" "$finalize" "$install_files" "$remove_files"; do
  [ -n "$value" ] || { echo "a standard action is missing from InstallExecuteSequence" >&2; exit 1; }
done

status=0
fail() { echo "$*" >&2; status=1; }
elevated() { # entry, condition text, lower bound, upper bound: exactly one such action
  count=$(awk -F '\t' -v e="$1" -v c="$2" -v lo="$3" -v hi="$4" \
    '$3 == e && $2 == 3137 && $5 == c && $4 + 0 > lo + 0 && $4 + 0 < hi + 0' "$tables/joined" | wc -l)
  [ "$count" -eq 1 ] || fail "expected one deferred, not impersonated $1 with condition '$2' between sequence $3 and $4, found $count"
}
elevated Install 'NOT REMOVE~="ALL"' "$install_files" "$finalize"
elevated Uninstall 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE' "$initialize" "$remove_files"

# No Uninstall may come before InstallValidate, and no immediate one (outside the script, where
# it could not write in the all-users Start menu anyway) before InstallFinalize.
awk -F '\t' -v validate="$validate" -v finalize="$finalize" '
  $3 == "Uninstall" && $4 + 0 < validate + 0 { print "Uninstall action " $1 " runs before InstallValidate" }
  $3 == "Uninstall" && int($2 / 1024) % 2 == 0 && $4 + 0 < finalize + 0 { print "immediate Uninstall action " $1 " runs before InstallFinalize" }
' "$tables/joined" > "$tables/faults"
[ ! -s "$tables/faults" ] || { cat "$tables/faults" >&2; status=1; }

rollback_before() { # rollback entry, elevated entry it undoes, condition
  at=$(awk -F '\t' -v e="$2" '$3 == e && $2 == 3137 { print $4 }' "$tables/joined")
  count=$(awk -F '\t' -v r="$1" -v lo="$initialize" -v hi="${at:-0}" -v c="$3" '$3 == r && $2 == 3393 &&
    $4 + 0 > lo + 0 && $4 + 0 < hi + 0 && $5 == c' "$tables/joined" | wc -l)
  [ "$count" -eq 1 ] || fail "expected one rollback $1 (type 3393) with condition '$3' between InstallInitialize and the elevated $2, found $count"
}
rollback_before Uninstall Install 'NOT REMOVE~="ALL"'
rollback_before Install Uninstall 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE'

# The immediate Install: once, unconditioned, before InstallInitialize.
count=$(awk -F '\t' -v hi="$initialize" '$3 == "Install" && int($2 / 1024) % 2 == 0 && $4 + 0 < hi + 0 && $5 == ""' \
  "$tables/joined" | wc -l)
[ "$count" -eq 1 ] || fail "expected one immediate Install without condition before InstallInitialize, found $count"

# RemoveExistingProducts: after InstallInitialize and before every other action of the script.
remove_existing=$(place RemoveExistingProducts)
next=$(awk -F '\t' -v lo="$initialize" '$4 + 0 > lo + 0 && $1 != "RemoveExistingProducts" { print $4 }' "$tables/joined" |
  sort -n | head -n 1)
if [ -z "$remove_existing" ] || [ "$remove_existing" -le "$initialize" ] || [ "$remove_existing" -ge "${next:-0}" ]; then
  fail "RemoveExistingProducts ($remove_existing) is not right after InstallInitialize ($initialize, next action at $next)"
fi

# PostInstall: nowhere in the execute sequence; once in the UI sequence, after ExecuteAction,
# immediate (no 0x400 in-script bit), only after a full-UI installation.
count=$(awk -F '\t' '$3 == "PostInstall"' "$tables/joined" | wc -l)
[ "$count" -eq 0 ] || fail "PostInstall runs in InstallExecuteSequence, inside the elevated server"
execute_action=$(awk -F '\t' '$1 == "ExecuteAction" { print $4 }' "$tables/ui_joined")
[ -n "$execute_action" ] || fail "ExecuteAction is missing from InstallUISequence"
count=$(awk -F '\t' -v after="${execute_action:-0}" '$3 == "PostInstall" && $4 + 0 > after + 0 &&
  int($2 / 1024) % 2 == 0 && $5 == "NOT REMOVE~=\"ALL\" AND UILevel = 5"' "$tables/ui_joined" | wc -l)
[ "$count" -eq 1 ] || fail "expected one immediate PostInstall in InstallUISequence after ExecuteAction with condition 'NOT REMOVE~=\"ALL\" AND UILevel = 5', found $count"
exit $status
