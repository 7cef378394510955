# korvane_add_unit_test(NAME name SOURCES ... LIBS ... [DISPLAY | LABEL display] [DISPLAY_SUITES suite...]
#                       [LAZY_SYSTEM_LIBRARIES]):
# one GoogleTest program, registered with CTest. Under the Windows build CTest runs it
# through Wine.
#
# Every test carries one label, so a machine without a display can run what it can:
#   unit     pure logic, fakes and recording tables; needs no display (`ctest -L unit`)
#   display  opens windows or draws with real OpenGL: needs an X display (Xvfb natively,
#            and Wine's windows live there too)
# DISPLAY labels the whole program `display`; DISPLAY_SUITES only the named test suites
# (typed and parameterised instances included), the rest of the program is `unit`.
# LAZY_SYSTEM_LIBRARIES keeps the real X11, GL and FreeType libraries out of a native test
# program, so that only the window module's lazily bound entry points reach them.
function(korvane_add_unit_test)
  cmake_parse_arguments(T "DISPLAY;LAZY_SYSTEM_LIBRARIES" "NAME;LABEL" "SOURCES;LIBS;DISPLAY_SUITES" ${ARGN})
  if(T_LABEL STREQUAL "display")
    set(T_DISPLAY ON)
  elseif(T_LABEL AND NOT T_LABEL STREQUAL "unit")
    message(FATAL_ERROR "korvane_add_unit_test: LABEL is unit or display, not ${T_LABEL}")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main korvane_options)
  # Tests also call the window's system libraries themselves (to read back what the code
  # made): natively they link the real ones beside the program's lazily bound entry points,
  # unless the test is about those entry points.
  if(NOT WIN32 AND NOT T_LAZY_SYSTEM_LIBRARIES)
    target_link_libraries(${T_NAME} PRIVATE X11::X11 X11::Xi OpenGL::GL OpenGL::GLX Freetype::Freetype)
  endif()
  target_compile_definitions(${T_NAME} PRIVATE
    KORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KORVANE_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")

  set(_discover DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(T_DISPLAY)
    gtest_discover_tests(${T_NAME} ${_discover} PROPERTIES LABELS display)
  elseif(T_DISPLAY_SUITES)
    set(_patterns "")
    foreach(_suite IN LISTS T_DISPLAY_SUITES)
      list(APPEND _patterns "${_suite}.*" "*/${_suite}.*" "${_suite}/*")
    endforeach()
    list(JOIN _patterns ":" _filter)
    gtest_discover_tests(${T_NAME} ${_discover} TEST_FILTER "${_filter}" PROPERTIES LABELS display)
    gtest_discover_tests(${T_NAME} ${_discover} TEST_FILTER "-${_filter}" PROPERTIES LABELS unit)
  else()
    gtest_discover_tests(${T_NAME} ${_discover} PROPERTIES LABELS unit)
  endif()
endfunction()
