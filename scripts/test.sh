#!/usr/bin/env bash
# README command 2: installs what is missing, builds, and runs the whole test suite under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh

source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start build

# scripts/wine-run retries a test program once only for a recognised Wine start-up fault and
# writes each retry here; every other failure stands as it is.
export VANTREL_FLAKE_LOG="$PWD/build/flake.log"
: >"$VANTREL_FLAKE_LOG"

status=0
ctest --preset mingw "$@" || status=$?

if [ -s "$VANTREL_FLAKE_LOG" ]; then
  echo "Wine start-up faults retried ($VANTREL_FLAKE_LOG):"
  cat "$VANTREL_FLAKE_LOG"
else
  echo "Wine start-up faults retried: none"
fi
exit "$status"
