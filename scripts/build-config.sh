# Sourced by run.sh and test.sh: the one configuration of the plain build folder `build/`.
# Both scripts configure it alike, so running one after the other reuses the build instead of
# reconfiguring and rebuilding everything. Optimised without debug information, which keeps a
# two-core build short.
plain_build_args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2)
