#!/usr/bin/env bash
# Installs what is missing, builds the project twice (plain, and with AddressSanitizer +
# UndefinedBehaviorSanitizer) and runs the whole suite in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/build-config.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

# The plain build is the one scripts/run.sh uses too (scripts/build-config.sh); the sanitizer
# build is lightly optimised with line tables only (enough for readable reports): both keep
# the two-core CI run short.
echo "== plain build =="
run_suite build "${plain_build_args[@]}"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DKAVRI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"
