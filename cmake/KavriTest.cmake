# kavri_add_test(NAME SOURCES src... LIBS lib...)
# One GoogleTest executable; every TEST becomes its own CTest case so `ctest -j` runs them in parallel.
function(kavri_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Serial-port lock files go to a folder of the build tree, never the machine's /run/lock.
  set(lock_dir ${CMAKE_BINARY_DIR}/test-locks)
  file(MAKE_DIRECTORY ${lock_dir})
  set(environment KAVRI_LOCK_DIR=${lock_dir} ${ARG_ENV})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 120)
endfunction()
