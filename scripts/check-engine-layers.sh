#!/usr/bin/env bash
# Fails when the engine's source files call each other in a circle.
#
# Each engine object file is a node; a file that uses a symbol another file
# defines depends on that file. The dependencies must form layers (no file
# reaches back to one above it), so they must sort topologically: tsort
# reports any loop. Weak definitions (inline functions and templates that
# every user carries) are not counted as definitions.
# Usage: scripts/check-engine-layers.sh [build directory]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# The objects of the engine's present sources (a build directory may still
# hold objects of files since removed).
objects=()
for source in engine/KBEPI32_*.cpp; do
  object="$build/engine/CMakeFiles/KBE3235.dir/$(basename "$source").o"
  if [ ! -e "$object" ]; then
    echo "missing $object: build the engine first" >&2
    exit 2
  fi
  objects+=("$object")
done

defs=$(mktemp)
uses=$(mktemp)
trap 'rm -f "$defs" "$uses"' EXIT
for o in "${objects[@]}"; do
  f=$(basename "$o" .cpp.o)
  nm --defined-only "$o" | awk -v f="$f" '$2 ~ /^[TDBR]$/ { print $3, f }' >>"$defs"
  nm --undefined-only "$o" | awk -v f="$f" '{ print $2, f }' >>"$uses"
done

# "user definer" pairs, one per dependency between two different files.
edges=$(awk 'NR == FNR { def[$1] = $2; next } ($1 in def) && def[$1] != $2 { print $2, def[$1] }' \
  "$defs" "$uses" | sort -u)

if ! printf '%s\n' "$edges" | tsort >/dev/null 2>&1; then
  echo "engine files call each other in a circle:" >&2
  printf '%s\n' "$edges" | tsort 2>&1 >/dev/null | grep -v '^tsort: -: input contains a loop:$' >&2 || true
  exit 1
fi
echo "engine files form layers ($(printf '%s\n' "$edges" | wc -l) dependencies between ${#objects[@]} files)"
