#!/bin/sh
# scripts/wine-run reruns a test program once for Wine's loader fault at exit, and only when the
# run passed: GoogleTest's summary says N >= 1 tests passed and no "[  FAILED  ]" line exists. A
# stand-in for Wine plays each run's output and exit code and counts how often it was started.
# Usage: check_wine_run.sh WINE_RUN
set -u
wine_run=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/check-wine-run.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

cat >"$work/wine" <<'STANDIN'
#!/bin/sh
echo run >>"$STANDIN_COUNT"
printf '%b' "$STANDIN_OUT"
printf '%b' "$STANDIN_ERR" >&2
exit "$STANDIN_CODE"
STANDIN
chmod +x "$work/wine"

loader='Inconsistency detected by ld.so: dl-close.c: 1.\n'
failing_summary='[==========] 2 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 0 tests.\n[  FAILED  ] 2 tests, listed below:\n[  FAILED  ] A.B\n[  FAILED  ] A.C\n'
half_summary='[==========] 2 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 1 test.\n[  FAILED  ] 1 test, listed below:\n[  FAILED  ] A.C\n'
passing_summary='[==========] 3 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 3 tests.\n'
one_passed='[==========] 1 test from 1 test suite ran. (5 ms total)\n[  PASSED  ] 1 test.\n'

bad=0
# check NAME OUT ERR CODE RUNS: the runs wine-run makes and that it passes the last exit code on.
check() {
    rm -f "$work/count"
    STANDIN_COUNT="$work/count" STANDIN_OUT=$2 STANDIN_ERR=$3 STANDIN_CODE=$4 VANTREL_WINE64="$work/wine" \
        VANTREL_FLAKE_LOG="$work/flake.log" "$wine_run" "$work/program.exe" --gtest_filter='A.*' >/dev/null 2>&1
    code=$?
    runs=$(wc -l <"$work/count")
    if [ "$runs" -eq "$5" ] && [ "$code" -eq "$4" ]; then
        echo "ok   $1: $runs run(s), exit $code"
    else
        echo "BAD  $1: $runs run(s), exit $code (expected $5 run(s), exit $4)"
        bad=1
    fi
}

check 'failing run, loader fault at exit' "$failing_summary" "$loader" 1 1
check 'one passed, one failed, loader fault at exit' "$half_summary" "$loader" 1 1
check 'failing run, no loader fault' "$failing_summary" '' 1 1
check 'passing run, loader fault at exit' "$passing_summary" "$loader" 127 2
check 'one test passed, loader fault at exit' "$one_passed" "$loader" 127 2
check 'passing run, other fault at exit' "$passing_summary" 'Segmentation fault\n' 139 1
exit $bad
