#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the packages into dist/: one Debian package per program, for the architecture of this
# machine (amd64 here, arm64 on a Raspberry Pi), and the Windows zip archive with the .exe
# files, cross-built with MinGW-w64. Installs what is missing first. The build folders are
# those of scripts/run.sh and scripts/test.sh (build/ and build-win/): what they built is
# packaged as it is, without building again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/build-config.sh
jobs=$(nproc 2>/dev/null || echo 2)

rm -rf dist
mkdir -p dist

echo "== Debian packages =="
cmake -S . -B build "${plain_build_args[@]}" >/dev/null
cmake --build build -j "$jobs"
rm -rf build/packages
(cd build && cpack -G DEB >/dev/null)
cp build/packages/*.deb dist/

echo "== Windows archive =="
cmake -S . -B build-win "${win_build_args[@]}" >/dev/null
cmake --build build-win -j "$jobs"
rm -rf build-win/packages
(cd build-win && cpack -G ZIP >/dev/null)
cp build-win/packages/*.zip dist/

ls -l dist
