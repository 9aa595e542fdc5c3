#!/usr/bin/env bash
# README command 2: installs what is missing, builds both builds and runs both test suites under
# Wine: the x64 suite in build/ under the host's Wine, then the x86 suite in build-x86/ under the
# private i386 Wine that scripts/wine-i386.sh prepares (once; it is cached): the whole suite in a
# 32-bit prefix, then the tests of the registry's views and of the packages once more in a mixed
# prefix (64-bit Windows with its 32-bit side), where WOW6432Node redirection is real.
# Arguments go to every ctest run. Exit status: non-zero when any run failed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

# scripts/wine-run retries a test program once only for a recognised Wine start-up fault and
# writes each retry to the build's flake.log; every other failure stands as it is.
#   run_suite BUILD_DIR PRESET SESSION [ctest argument...]
run_suite() {
  local build_dir=$1 preset=$2 session=$3
  (
    source scripts/wine-session.sh
    trap wine_session_stop EXIT
    wine_session_start "$build_dir" $session
    export VANTREL_FLAKE_LOG="$PWD/$build_dir/flake${session:+-$session}.log"
    : >"$VANTREL_FLAKE_LOG"
    status=0
    ctest --preset "$preset" "${@:4}" || status=$?
    if [ -s "$VANTREL_FLAKE_LOG" ]; then
      echo "Wine start-up faults retried ($VANTREL_FLAKE_LOG):"
      cat "$VANTREL_FLAKE_LOG"
    else
      echo "Wine start-up faults retried ($build_dir): none"
    fi
    exit "$status"
  )
}

# The x86 tests that run again in the mixed prefix. Each opens no window and starts no program:
# there the i386 Wine's programs can do neither (no display driver, and a new process's loader is
# looked for beside qemu-i386), so registration is tested in-process, and the packages by
# tests/installer/check_replacement.sh, which runs msiexec from the host.
X86_MIXED_TESTS='^(ServerRegistrationTest\.|SettingsTest\.MachineDefaultsComeFromThe64BitView|MachineDefaultsRegistry\.|PackageComponents|PackagesReplaceEachOther)'

status=0
bash scripts/build.sh
start=$SECONDS
run_suite build mingw "" "$@" || status=1
x64_seconds=$((SECONDS - start))

start=$SECONDS
bash scripts/wine-i386.sh >/dev/null
setup_seconds=$((SECONDS - start))
start=$SECONDS
bash scripts/build.sh x86
build_seconds=$((SECONDS - start))
start=$SECONDS
run_suite build-x86 mingw-x86 x86 "$@" || status=1
x86_seconds=$((SECONDS - start))
# The mixed prefix: registration in the 32-bit view and nowhere else, the machine's defaults
# read and written in the 64-bit view, the x86 package there, and either package replacing the
# other (tests/installer/check_replacement.sh, which needs both builds' packages).
start=$SECONDS
run_suite build-x86 mingw-x86 x86-mixed -R "$X86_MIXED_TESTS" "$@" || status=1
mixed_seconds=$((SECONDS - start))

echo "Times: x64 suite ${x64_seconds} s; x86: i386 Wine set-up ${setup_seconds} s, build ${build_seconds} s," \
  "suite ${x86_seconds} s, mixed-prefix tests ${mixed_seconds} s"
exit "$status"
