#!/usr/bin/env bash
# Fuzzes the registry-script parser with clang's libFuzzer (with AddressSanitizer and
# UndefinedBehaviorSanitizer). The parser is plain C++, so this builds natively, not with MinGW.
#   scripts/fuzz.sh [SECONDS]      run for SECONDS (default 300); exit code 0 when nothing was found
# Builds into build-fuzz/; the corpus grown there starts from the seeds in fuzz/corpus/, which stay
# as committed. A crash, leak or hang leaves its input in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
out=build-fuzz

# clang 14 and its runtime libraries (libFuzzer, the sanitizers), installed only when missing.
bash scripts/deps.sh clang-14 libclang-rt-14-dev

mkdir -p "$out/corpus" "$out/artifacts"
clang++-14 -std=c++17 -g -O1 -fno-omit-frame-pointer -Wall -Wextra -Werror \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc fuzz/registry_script_fuzz.cpp src/com/registry_script.cpp \
  -o "$out/registry_script_fuzz"

# -timeout: one input taking over 10 s is a hang; -max_len well above the DLL's scripts.
"$out/registry_script_fuzz" \
  -max_total_time="$seconds" \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -max_len=16384 \
  -dict=fuzz/registry_script.dict \
  -artifact_prefix="$out/artifacts/" \
  -print_final_stats=1 \
  "$out/corpus" fuzz/corpus
