#!/usr/bin/env bash
# Configures and builds Vantrel.dll, the tests and the tools into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw
