# SPDX-License-Identifier: GPL-3.0-or-later
# kavri_add_test(NAME SOURCES src... LIBS lib... [ENV var=value...] [PROPERTIES name value...])
# One GoogleTest executable; every TEST becomes its own CTest case so `ctest -j` runs them in parallel.
function(kavri_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV;PROPERTIES" ${ARGN})
  if(NOT TARGET GTest::gtest)
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Serial-port lock files go to a folder of the build tree, never the machine's /run/lock.
  set(lock_dir ${CMAKE_BINARY_DIR}/test-locks)
  file(MAKE_DIRECTORY ${lock_dir})
  set(environment KAVRI_LOCK_DIR=${lock_dir} ${ARG_ENV})
  # A cross build lists its tests when CTest runs (under the emulator), so building needs none.
  set(discovery_mode POST_BUILD)
  if(CMAKE_CROSSCOMPILING)
    set(discovery_mode PRE_TEST)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${discovery_mode}
                       PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()
