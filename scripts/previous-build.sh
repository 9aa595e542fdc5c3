#!/usr/bin/env bash
# Sourced by scripts/bench.sh.
# The previous build's Vantrel.dll, for the start-up measured side by side: the sources of
# VANTREL_PREVIOUS_REF (by default the commit where this branch left main; on main itself, the
# commit before HEAD) exported with git archive into build/previous/<commit>/ and built there
# (the DLL target only), stripped as the installer strips the shipped DLL.
previous_dll() {  # previous_dll: prints the stripped DLL's path, or nothing when it cannot be built
  local ref commit base dir
  ref=${VANTREL_PREVIOUS_REF:-}
  if [ -z "$ref" ]; then
    base=$(git merge-base HEAD main 2>/dev/null || true)
    if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then
      base=$(git rev-parse HEAD~1 2>/dev/null || true)
    fi
    ref=$base
  fi
  commit=$(git rev-parse --verify --quiet "$ref^{commit}" || true)
  [ -n "$commit" ] || return 0
  dir=$PWD/build/previous/$(git rev-parse --short "$commit")
  if [ ! -f "$dir/Vantrel.dll" ]; then
    rm -rf "$dir/src"
    mkdir -p "$dir/src"
    git archive "$commit" | tar -x -C "$dir/src"
    (cd "$dir/src" && cmake --preset mingw >/dev/null && cmake --build build --parallel 2 --target Vantrel >&2) || return 0
    x86_64-w64-mingw32-objcopy --strip-all "$dir/src/build/bin/Vantrel.dll" "$dir/Vantrel.dll" || return 0
  fi
  echo "$dir/Vantrel.dll"
}
