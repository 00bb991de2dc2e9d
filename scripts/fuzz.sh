#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets of the settings store parser, the settings-file reader and the Alpaca
# server's request handling with clang's libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for 60 seconds, or FUZZ_SECONDS. Not part of CI.
# Findings land in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
cxx=${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}
out=build-fuzz
mkdir -p "$out/findings"

# run TARGET PROGRAM SEEDS MAX_LEN: fuzzes for the time given, starting from the seeds, and
# prints the run's figures from its log.
status=0
run() {
  local target=$1 program=$2 seeds=$3 max_len=$4
  local corpus="$out/corpus-$target"
  mkdir -p "$corpus"
  cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "== $target: running for ${seconds}s"
  if ! "$program" "$corpus" -max_total_time="$seconds" -max_len="$max_len" \
      -artifact_prefix="$out/findings/$target-" -print_final_stats=1 2>"$out/$target.log"; then
    status=1
    echo "!! $target found a fault; see $out/$target.log and $out/findings/"
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)" \
    "$out/$target.log" || true
  grep -E "^#[0-9]+ +DONE" "$out/$target.log" || true
}

for target in RegistryFileFuzz SettingsFileFuzz; do
  echo "== $target: building"
  "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc "bench/fuzz/$target.cpp" src/persist/RegistryFileFormat.cpp src/persist/RegistryValueText.cpp \
    src/persist/SettingsFileFormat.cpp -o "$out/$target"
  case $target in
    RegistryFileFuzz) seeds=bench/fuzz/corpus/registry ;;
    SettingsFileFuzz) seeds=bench/fuzz/corpus/settings ;;
  esac
  run "$target" "./$out/$target" "$seeds" 8192
done

# The Alpaca server's request handling needs Boost, nlohmann/json and the core: it is built
# through CMake, everything instrumented for coverage, only the parts the target uses.
target=AlpacaRequestFuzz
echo "== $target: building"
cmake -S . -B "$out/cmake" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug \
  -DKAVRI_BUILD_BENCH=ON -DKAVRI_BUILD_UI=OFF -DKAVRI_BUILD_TESTS=OFF -DKAVRI_BUILD_INDI=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >"$out/cmake.log"
cmake --build "$out/cmake" -j2 --target fuzz_$target >>"$out/cmake.log"
run "$target" "$out/cmake/bench/fuzz/fuzz_$target" bench/fuzz/corpus/alpaca 32768
exit $status
