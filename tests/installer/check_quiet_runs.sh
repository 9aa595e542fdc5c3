#!/bin/sh
# What keeps a quiet run from closing Outlook or restarting the machine, read from the package's
# Property, CustomAction and InstallExecuteSequence tables (Wine's msiexec has no Restart Manager
# and never restarts, so only the tables can show it):
# - MSIRESTARTMANAGERCONTROL is "Disable": Windows Installer does not use the Restart Manager,
#   which would otherwise shut Outlook down in a silent upgrade, repair or removal that finds
#   Vantrel.dll in use; the file is then replaced at the next restart (exit code 3010).
# - Without user interface a needed restart happens by itself at the end of the installation,
#   so a run below reduced UI (UILevel < 4) that sets no REBOOT of its own gets
#   REBOOT=ReallySuppress from a property-setting action (type 51) in the execute sequence.
#   check_quiet_runs.sh MSIINFO PACKAGE
set -eu
msiinfo=$1 package=$2
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
"$msiinfo" export "$package" Property | tr -d '\r' > "$tables/properties"
"$msiinfo" export "$package" CustomAction | tr -d '\r' > "$tables/actions"
"$msiinfo" export "$package" InstallExecuteSequence | tr -d '\r' > "$tables/sequence"

status=0
fail() { echo "$*" >&2; status=1; }

control=$(awk -F '\t' 'FNR > 3 && $1 == "MSIRESTARTMANAGERCONTROL" { print $2 }' "$tables/properties")
[ "$control" = "Disable" ] || fail "MSIRESTARTMANAGERCONTROL is '$control', not 'Disable'"
reboot=$(awk -F '\t' 'FNR > 3 && $1 == "REBOOT" { print $2 }' "$tables/properties")
[ -z "$reboot" ] || fail "the Property table sets REBOOT=$reboot for every run, full UI included"

# Type 51 actions (the low six bits) that set REBOOT to ReallySuppress, and where they run.
awk -F '\t' 'FNR > 3 && $2 % 64 == 51 && $3 == "REBOOT" && $4 == "ReallySuppress" { print $1 }' \
  "$tables/actions" > "$tables/suppressing"
count=$(awk -F '\t' 'NR == FNR { a[$1] = 1; next }
                     FNR > 3 && ($1 in a) && $2 == "UILevel < 4 AND NOT REBOOT"' \
  "$tables/suppressing" "$tables/sequence" | wc -l)
[ "$count" -eq 1 ] || fail "expected one action setting REBOOT=ReallySuppress in InstallExecuteSequence with condition 'UILevel < 4 AND NOT REBOOT', found $count"
finalize=$(awk -F '\t' 'FNR > 3 && $1 == "InstallFinalize" { print $3 }' "$tables/sequence")
late=$(awk -F '\t' -v f="${finalize:-0}" 'NR == FNR { a[$1] = 1; next }
                                          FNR > 3 && ($1 in a) && $3 + 0 >= f + 0' \
  "$tables/suppressing" "$tables/sequence" | wc -l)
[ "$late" -eq 0 ] || fail "REBOOT is set at or after InstallFinalize, too late for the end of the script"
[ $status -ne 0 ] || echo "MSIRESTARTMANAGERCONTROL=$control; REBOOT=ReallySuppress below reduced UI"
exit $status
