#!/usr/bin/env bash
# Configures and builds Vantrel.dll, the tests and the tools: into build/ (x64), or with x86
# into build-x86/ (the same sources for 32-bit Office).
#   scripts/build.sh [x86]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=mingw
if [ "${1:-}" = x86 ]; then
  preset=mingw-x86
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
