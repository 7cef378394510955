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
  file(GLOB _sodium_dirs LIST_DIRECTORIES true "${KORVANE_WIN64_DEPS}/libsodium-*")
  if(NOT _sodium_dirs)
    message(FATAL_ERROR "libsodium not found in '${KORVANE_WIN64_DEPS}'; run scripts/build_windows_deps.sh")
  endif()
  list(GET _curl_dirs 0 KORVANE_CURL_DIR)
  list(GET _freetype_dirs 0 KORVANE_FREETYPE_DIR)
  list(GET _gtest_dirs 0 KORVANE_GTEST_DIR)
  list(GET _sodium_dirs 0 KORVANE_SODIUM_DIR)

  # The HTTP library the updater embeds and writes next to itself.
  set(KORVANE_EMBEDDED_CURL "${KORVANE_CURL_DIR}/bin/libcurl.dll")

  add_library(korvane_freetype STATIC IMPORTED GLOBAL)
  set_target_properties(korvane_freetype PROPERTIES
    IMPORTED_LOCATION "${KORVANE_FREETYPE_DIR}/lib/libfreetype.a"
    INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_FREETYPE_DIR}/include/freetype2")
  add_library(Freetype::Freetype ALIAS korvane_freetype)

  # Signatures: libsodium, static (SODIUM_STATIC keeps its headers from asking for a DLL).
  add_library(korvane_sodium STATIC IMPORTED GLOBAL)
  set_target_properties(korvane_sodium PROPERTIES
    IMPORTED_LOCATION "${KORVANE_SODIUM_DIR}/lib/libsodium.a"
    INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_SODIUM_DIR}/include"
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)

  set(GTest_DIR "${KORVANE_GTEST_DIR}/lib/cmake/GTest")

  file(GLOB _zstd_dirs LIST_DIRECTORIES true "${KORVANE_WIN64_DEPS}/zstd-*")
  if(NOT _zstd_dirs)
    message(FATAL_ERROR "zstd not found in '${KORVANE_WIN64_DEPS}'; run scripts/build_windows_deps.sh")
  endif()
  list(GET _zstd_dirs 0 KORVANE_ZSTD_DIR)
  add_library(korvane_zstd STATIC IMPORTED GLOBAL)
  set_target_properties(korvane_zstd PROPERTIES
    IMPORTED_LOCATION "${KORVANE_ZSTD_DIR}/lib/libzstd.a"
    INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_ZSTD_DIR}/include")
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
  # Signatures: Debian's libsodium-dev.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(KORVANE_SODIUM REQUIRED IMPORTED_TARGET libsodium)
  add_library(korvane_sodium INTERFACE IMPORTED GLOBAL)
  target_link_libraries(korvane_sodium INTERFACE PkgConfig::KORVANE_SODIUM)
  # Debian's libzstd-dev.
  find_path(KORVANE_ZSTD_INCLUDE_DIR zstd.h REQUIRED)
  find_library(KORVANE_ZSTD_LIBRARY zstd REQUIRED)
  add_library(korvane_zstd UNKNOWN IMPORTED GLOBAL)
  set_target_properties(korvane_zstd PROPERTIES
    IMPORTED_LOCATION "${KORVANE_ZSTD_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_ZSTD_INCLUDE_DIR}")
  # Debian's libcurl4: the shared object the updater embeds, writes and loads at run time.
  find_file(KORVANE_EMBEDDED_CURL NAMES libcurl.so.4
            PATHS /usr/lib/x86_64-linux-gnu /usr/lib64 /usr/lib NO_DEFAULT_PATH REQUIRED)
  get_filename_component(KORVANE_EMBEDDED_CURL "${KORVANE_EMBEDDED_CURL}" REALPATH)
endif()
