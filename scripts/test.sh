#!/usr/bin/env bash
# README command 2: installs what is missing, builds, and runs the whole test suite under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh

source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start build

# A test that fails is run once more: under Wine on a loaded machine a test program now and then
# fails to start at all (it ends at once, with no output). A real fault fails both runs.
ctest --preset mingw --repeat until-pass:2 "$@"
