#!/usr/bin/env bash
# Every test: the normal build, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the fuzz programs for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/build.sh build-asan -DQORVENA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
# Last, every reader of outside input under libFuzzer for a bounded time (FUZZ_SECONDS each, default 45).
scripts/fuzz.sh
