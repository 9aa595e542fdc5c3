#!/bin/sh
# How the machine defaults survive a repair, read from the package's Property, RegLocator,
# AppSearch, CustomAction and both sequence tables. For each property:
# - it is secure (SecureCustomProperties), so that a value given on a quiet or managed run's
#   command line reaches the installation's server (Wine's msiexec passes every property, so only
#   the table can show it);
# - AppSearch reads the machine's value back from HKLM\SOFTWARE\Vantrel in the 64-bit view
#   (RegLocator root 2, type 18 = raw 2 + 64-bit 16) into VANTREL_MACHINE_<PROPERTY>;
# - in both sequences, after AppSearch, a property-setting action (type 51) hands that value to
#   the property when the run gave none, and a second one then sets the product's default;
# - the Property table gives the property no value of its own (a value there would hide the
#   machine's).
# Where the values are written: the x64 package writes them as Registry rows of its 64-bit
# component. The x86 package may hold only 32-bit components, whose rows would land in the
# 32-bit view, so it has no such rows: VantrelWriteMachineDefaults and
# VantrelRemoveMachineDefaults (deferred, no impersonation: 3137) write and remove them in the
# 64-bit view inside the script, each after its rollback action (3393) under the same condition,
# with their data set by the immediate VantrelPrepareMachineDefaults before InstallInitialize.
#   check_machine_defaults.sh MSIINFO PACKAGE [x64|x86]
set -eu
msiinfo=$1 package=$2 arch=${3:-x64}
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
for table in Property RegLocator AppSearch CustomAction InstallExecuteSequence InstallUISequence Registry; do
  "$msiinfo" export "$package" $table | tr -d '\r' | awk 'NR > 3' > "$tables/$table"
done

status=0
fail() { echo "$*" >&2; status=1; }
secure=$(awk -F '\t' '$1 == "SecureCustomProperties" { print $2 }' "$tables/Property")

for pair in ENABLED:Enabled:1 DELAY:Delay:30 SHOWEXITDIALOG:ShowExitDialog:1 CLOSEWINWORD:CloseWinWord:0 \
            WAITFORWRITES:WaitForWrites:60; do
  property=${pair%%:*} rest=${pair#*:}
  name=${rest%%:*} default=${rest#*:}
  echo ";$secure;" | grep -q ";$property;" || fail "$property is not in SecureCustomProperties ($secure)"
  awk -F '\t' -v p="$property" '$1 == p { found = 1 } END { exit !found }' "$tables/Property" &&
    fail "the Property table gives $property a value of its own"
  machine=VANTREL_MACHINE_$property
  signature=$(awk -F '\t' -v p="$machine" '$1 == p { print $2 }' "$tables/AppSearch")
  [ -n "$signature" ] || { fail "AppSearch does not fill $machine"; continue; }
  awk -F '\t' -v s="$signature" -v n="$name" \
    '$1 == s && $2 == 2 && $3 == "SOFTWARE\\Vantrel" && $4 == n && $5 == 18 { found = 1 } END { exit !found }' \
    "$tables/RegLocator" ||
    fail "$machine is not read from HKLM\\SOFTWARE\\Vantrel\\$name as raw text in the 64-bit view"
  keep=$(awk -F '\t' -v p="$property" -v m="[$machine]" '$2 % 64 == 51 && $3 == p && $4 == m { print $1 }' "$tables/CustomAction")
  default_action=$(awk -F '\t' -v p="$property" -v d="$default" '$2 % 64 == 51 && $3 == p && $4 == d { print $1 }' "$tables/CustomAction")
  for sequence in InstallExecuteSequence InstallUISequence; do
    search=$(awk -F '\t' '$1 == "AppSearch" { print $3 }' "$tables/$sequence")
    at_keep=$(awk -F '\t' -v a="$keep" -v c="NOT $property AND $machine" '$1 == a && $2 == c { print $3 }' "$tables/$sequence")
    at_default=$(awk -F '\t' -v a="$default_action" -v c="NOT $property" '$1 == a && $2 == c { print $3 }' "$tables/$sequence")
    if [ -z "$search" ] || [ -z "$at_keep" ] || [ -z "$at_default" ] ||
       [ "$at_keep" -le "$search" ] || [ "$at_default" -le "$at_keep" ]; then
      fail "$sequence: expected AppSearch, then '$property=[$machine]' if NOT $property AND $machine, then '$property=$default' if NOT $property (found at '$search', '$at_keep', '$at_default')"
    fi
  done
  rows=$(awk -F '\t' -v n="$name" '$2 == 2 && $3 == "SOFTWARE\\Vantrel" && $4 == n' "$tables/Registry")
  if [ "$arch" = x86 ]; then
    [ -z "$rows" ] || fail "the x86 package writes $name as a Registry row (the 32-bit view)"
  else
    [ -n "$rows" ] || fail "the x64 package has no Registry row for $name"
  fi
done

if [ "$arch" = x86 ]; then
  at() { awk -F '\t' -v a="$1" -v c="$2" '$1 == a && $2 == c { print $3 }' "$tables/InstallExecuteSequence"; }
  type_of() { awk -F '\t' -v a="$1" '$1 == a { print $2 }' "$tables/CustomAction"; }
  init=$(at InstallInitialize "") final=$(at InstallFinalize "")
  prepare=$(at VantrelPrepareMachineDefaults "")
  prepare_type=$(type_of VantrelPrepareMachineDefaults)
  # A DLL from the Binary table (1), not in the script (no 0x400).
  [ -n "$prepare" ] && [ "$prepare" -lt "$init" ] && [ $((prepare_type & 63)) = 1 ] && [ $((prepare_type & 1024)) = 0 ] ||
    fail "VantrelPrepareMachineDefaults is not an immediate DLL action before InstallInitialize"
  for pair in 'Write:NOT REMOVE~="ALL"' 'Remove:REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE'; do
    verb=${pair%%:*} condition=${pair#*:}
    action=Vantrel${verb}MachineDefaults
    main=$(at "$action" "$condition") rollback=$(at "${action}Rollback" "$condition")
    if [ -z "$main" ] || [ -z "$rollback" ] || [ "$rollback" -le "$init" ] || [ "$main" -le "$rollback" ] ||
       [ "$main" -ge "$final" ]; then
      fail "expected ${action}Rollback, then $action, inside the script if $condition (found at '$rollback', '$main')"
    fi
    [ "$(type_of "$action")" = 3137 ] || fail "$action is not deferred without impersonation (3137)"
    [ "$(type_of "${action}Rollback")" = 3393 ] || fail "${action}Rollback is not a rollback action (3393)"
  done
fi
exit $status
