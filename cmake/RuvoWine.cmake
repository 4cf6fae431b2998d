# Helpers for the Windows build's test and benchmark programs.

# ruvo_wine_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [PREFIX <name> [PREFIX_ARCH 32|64]])
# One GoogleTest program, run by CTest under Wine with a time bound: through
# scripts/wine-run.sh in the run's prefix, or with PREFIX through scripts/wine-prefix-run.sh in
# a prefix of its own (of this edition's architecture unless PREFIX_ARCH says otherwise). A
# program whose every test was skipped ends with 77 (tests/win/support/TestMain.cpp), which
# CTest reports as skipped.
function(ruvo_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT;PREFIX;PREFIX_ARCH" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(NOT T_PREFIX_ARCH)
    set(T_PREFIX_ARCH ${RUVO_EDITION})
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ruvo_test_main gtest)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win/support)
  if(T_PREFIX)
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix-run.sh ${T_PREFIX} ${T_PREFIX_ARCH} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77
                       ENVIRONMENT "RUVO_WINE_TIMEOUT=${T_TIMEOUT};RUVO_TEST_PROGRAM=1")
endfunction()

# ruvo_wine_bench(<name> SOURCES ... [LIBS ...])
# A benchmark program run by scripts/bench.sh under Wine; it prints figures.
function(ruvo_wine_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  set_property(GLOBAL APPEND PROPERTY RUVO_WINE_BENCHES ${name})
endfunction()
