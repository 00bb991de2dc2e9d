# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by run.sh and test.sh: the one configuration of the plain build folder `build/`.
# Both scripts configure it alike, so running one after the other reuses the build instead of
# reconfiguring and rebuilding everything. Optimised without debug information and compiled in
# batches (KAVRI_UNITY_BUILD), which keeps a two-core build short.
plain_build_args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2 -DKAVRI_UNITY_BUILD=ON)
# The Windows cross build folder `build-win/`, configured alike by test.sh and package.sh.
win_build_args=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "${plain_build_args[@]}")
