# Platform choice, compiler flags and the third-party libraries of each build.
if(WIN32)
  set(KORVANE_PLATFORM win32)
else()
  set(KORVANE_PLATFORM linux)
endif()

# Every program of ours is named *.exe on both platforms: the file names are part of the
# update protocol, and the tools and tests follow suit so scripts stay alike.
set(CMAKE_EXECUTABLE_SUFFIX ".exe")

add_library(korvane_options INTERFACE)
target_compile_options(korvane_options INTERFACE -Wall -Wextra -Wno-unused-parameter
                       -Wno-missing-field-initializers
                       # Keep every caller's frame in stack traces: no tail calls.
                       -fno-optimize-sibling-calls)

if(WIN32)
  # Wine's dbghelp reads DWARF 2 to 4 only.
  target_compile_options(korvane_options INTERFACE -gdwarf-4)
  target_compile_definitions(korvane_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  # Static runtime: an .exe needs only the system's own DLLs.
  target_link_options(korvane_options INTERFACE -static -static-libgcc -static-libstdc++)

  set(KORVANE_WIN64_DEPS "" CACHE PATH "Cache of the cross-built third-party libraries")
  if(NOT KORVANE_WIN64_DEPS OR NOT EXISTS "${KORVANE_WIN64_DEPS}")
    message(FATAL_ERROR "Windows dependencies not found in '${KORVANE_WIN64_DEPS}'; run scripts/build_windows_deps.sh")
  endif()
  file(GLOB _curl_dirs LIST_DIRECTORIES true "${KORVANE_WIN64_DEPS}/curl-*")
  file(GLOB _freetype_dirs LIST_DIRECTORIES true "${KORVANE_WIN64_DEPS}/freetype-*")
  file(GLOB _gtest_dirs LIST_DIRECTORIES true "${KORVANE_WIN64_DEPS}/googletest-*")
  list(GET _curl_dirs 0 KORVANE_CURL_DIR)
  list(GET _freetype_dirs 0 KORVANE_FREETYPE_DIR)
  list(GET _gtest_dirs 0 KORVANE_GTEST_DIR)

  # The HTTP library the updater embeds and writes next to itself.
  set(KORVANE_EMBEDDED_CURL "${KORVANE_CURL_DIR}/bin/libcurl.dll")

  add_library(korvane_freetype STATIC IMPORTED GLOBAL)
  set_target_properties(korvane_freetype PROPERTIES
    IMPORTED_LOCATION "${KORVANE_FREETYPE_DIR}/lib/libfreetype.a"
    INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_FREETYPE_DIR}/include/freetype2")
  add_library(Freetype::Freetype ALIAS korvane_freetype)

  set(GTest_DIR "${KORVANE_GTEST_DIR}/lib/cmake/GTest")
else()
  if(KORVANE_SANITIZE)
    list(JOIN KORVANE_SANITIZE "," _san)
    target_compile_options(korvane_options INTERFACE -fsanitize=${_san} -fno-omit-frame-pointer)
    target_link_options(korvane_options INTERFACE -fsanitize=${_san})
  endif()
  find_package(Freetype REQUIRED)
  find_package(X11 REQUIRED)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  find_package(Threads REQUIRED)
  # Debian's libcurl4: the shared object the updater embeds, writes and loads at run time.
  # Searched like any library (the multiarch folder included), by its full name: the
  # development link libcurl.so need not be installed.
  find_library(KORVANE_EMBEDDED_CURL NAMES libcurl.so.4 REQUIRED)
  get_filename_component(KORVANE_EMBEDDED_CURL "${KORVANE_EMBEDDED_CURL}" REALPATH)
endif()
