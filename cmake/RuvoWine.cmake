# Helpers for the Windows build's test and benchmark programs.

# ruvo_wine_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s])
# One GoogleTest program, run by CTest through scripts/wine-run.sh under a time bound.
function(ruvo_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ruvo_test_main gtest)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win/support)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77
                       ENVIRONMENT "RUVO_WINE_TIMEOUT=${T_TIMEOUT}")
endfunction()

# ruvo_wine_bench(<name> SOURCES ... [LIBS ...])
# A benchmark program run by scripts/bench.sh under Wine; it prints figures.
function(ruvo_wine_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  set_property(GLOBAL APPEND PROPERTY RUVO_WINE_BENCHES ${name})
endfunction()

# Adds every subfolder of <dir> that has a CMakeLists.txt.
function(ruvo_add_subfolders dir)
  file(GLOB _subs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${dir}/*)
  foreach(_d IN LISTS _subs)
    if(IS_DIRECTORY ${_d} AND EXISTS ${_d}/CMakeLists.txt)
      file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${_d})
      add_subdirectory(${_d} ${CMAKE_BINARY_DIR}/${_rel})
    endif()
  endforeach()
endfunction()
