#!/usr/bin/env bash
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

# report TARGET: the run's figures from its log.
report() {
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)" \
    "$out/$1.log" || true
  grep -E "^#[0-9]+ +DONE" "$out/$1.log" || true
}

status=0
for target in RegistryFileFuzz SettingsFileFuzz; do
  echo "== $target: building"
  "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc "bench/fuzz/$target.cpp" src/persist/RegistryFileFormat.cpp src/persist/RegistryValueText.cpp \
    src/persist/SettingsFileFormat.cpp -o "$out/$target"

  case $target in
    RegistryFileFuzz) seeds=bench/fuzz/corpus/registry ;;
    SettingsFileFuzz) seeds=bench/fuzz/corpus/settings ;;
  esac
  corpus="$out/corpus-$target"
  mkdir -p "$corpus"
  cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true

  echo "== $target: running for ${seconds}s"
  if ! "./$out/$target" "$corpus" -max_total_time="$seconds" -max_len=8192 \
      -artifact_prefix="$out/findings/$target-" -print_final_stats=1 2>"$out/$target.log"; then
    status=1
    echo "!! $target found a fault; see $out/$target.log and $out/findings/"
  fi
  report "$target"
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
corpus="$out/corpus-$target"
mkdir -p "$corpus"
cp -n bench/fuzz/corpus/alpaca/* "$corpus"/ 2>/dev/null || true
echo "== $target: running for ${seconds}s"
if ! "$out/cmake/bench/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" -max_len=32768 \
    -artifact_prefix="$out/findings/$target-" -print_final_stats=1 2>"$out/$target.log"; then
  status=1
  echo "!! $target found a fault; see $out/$target.log and $out/findings/"
fi
report "$target"
exit $status
