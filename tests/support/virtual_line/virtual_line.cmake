# pelkan_vline_test(<name> COM <n> SOURCES <files...> LIBS <libs...> [DESKTOP])
# A Windows test program that runs under Wine beside a virtual serial line: ctest starts
# pelkan-vline, which makes the line behind COM<n> of the build's Wine prefix and runs the
# program with PELKAN_VLINE_COM and PELKAN_VLINE_CONTROL set (tests/support/virtual_line/
# vline_client.h). Test programs that run at the same time need different COM numbers. Prefer
# COM2..COM9: Wine answers the port probe (GetDefaultCommConfig) only for one-digit numbers, and
# COM1 is Wine's own /dev/ttyS0. In use: 3 heap probe of line-event waits, 4 reply path memory
# test, 5 device layer tests, 6 device benchmark.
include_guard(GLOBAL)

function(pelkan_vline_test name)
  cmake_parse_arguments(T "DESKTOP" "COM" "SOURCES;LIBS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vline_client GTest::gmock GTest::gtest_main)
  add_dependencies(${name} pelkan_vline)
  set(results Z:${CMAKE_BINARY_DIR}/test-results/${name}.xml)
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/support/virtual_line/run-with-line
                   ${CMAKE_BINARY_DIR} ${T_COM} $<TARGET_FILE:${name}> --gtest_output=xml:${results})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(T_DESKTOP)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
endfunction()
