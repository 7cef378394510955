# korvane_add_unit_test(NAME name SOURCES ... LIBS ... [LABEL display]): one GoogleTest
# program, registered with CTest. Under the Windows build CTest runs it through Wine.
# LABEL: "unit" (the default) for tests of logic that need no desktop, "display" for
# programs that open windows or OpenGL contexts on an X display (they skip without one):
# `ctest -L unit` runs anywhere, `ctest -L display` needs DISPLAY.
function(korvane_add_unit_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main korvane_options)
  target_compile_definitions(${T_NAME} PRIVATE
    KORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KORVANE_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       PROPERTIES LABELS "${T_LABEL}")
endfunction()
