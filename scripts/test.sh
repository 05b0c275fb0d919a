#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# first the normal build, then platform, store and engine again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKH_SANITIZE=ON
cmake --build build-san -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-san --output-on-failure -j "$jobs"

# The Jet SQL translator under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, built with clang, for about a minute from the
# committed seed corpus (new inputs go to a scratch directory).
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKH_SANITIZE=ON -DKH_FUZZ_JETSQL=ON
cmake --build build-fuzz -j "$jobs" --target jetsql_fuzz
jetsql_corpus=$(mktemp -d)
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  build-fuzz/bin/jetsql_fuzz -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -dict=store/fuzz/jetsql.dict -print_final_stats=1 -artifact_prefix=build-fuzz/ \
  "$jetsql_corpus" store/fuzz/corpus
rm -rf "$jetsql_corpus"

# The engine's source files form layers: no file calls back into one above it.
bash scripts/check-engine-layers.sh build

# Fuzz the engine's filter expression reader for a minute, starting from the
# committed seed corpus (libFuzzer comes with clang).
# (build-fuzz is configured above, with clang.)
cmake --build build-fuzz -j "$jobs" --target canexpr_fuzz
mkdir -p build-fuzz/canexpr-corpus
build-fuzz/bin/canexpr_fuzz -max_total_time=60 -print_final_stats=1 \
  build-fuzz/canexpr-corpus engine/fuzz/corpus/canexpr
