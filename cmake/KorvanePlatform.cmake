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
  # Wine's dbghelp reads DWARF 2 to 4 only. Level 1 (functions and line tables, no types or
  # variables) is all a stack trace needs, and the updater is downloaded by every player
  # on every release: 10 MiB at the full level, most of it debug information.
  target_compile_options(korvane_options INTERFACE -gdwarf-4 -g1)
  target_compile_definitions(korvane_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  # Static runtime: an .exe needs only the system's own DLLs.
  target_link_options(korvane_options INTERFACE -static -static-libgcc -static-libstdc++)

  # The cross-built libraries (scripts/build_windows_deps.sh). The windows preset lists
  # their folders in CMAKE_PREFIX_PATH relative to KORVANE_WIN64_DEPS, so that this one
  # option moves the whole cache; absolute entries are taken as they are.
  set(KORVANE_WIN64_DEPS "" CACHE PATH "Cache of the cross-built third-party libraries")
  set(_prefixes "")
  foreach(_prefix IN LISTS CMAKE_PREFIX_PATH)
    if(IS_ABSOLUTE "${_prefix}")
      if(NOT IS_DIRECTORY "${_prefix}")
        message(FATAL_ERROR "CMAKE_PREFIX_PATH names '${_prefix}', which does not exist")
      endif()
    else()
      cmake_path(ABSOLUTE_PATH _prefix BASE_DIRECTORY "${KORVANE_WIN64_DEPS}" NORMALIZE)
      # The build script writes the stamp last: without it the folder is half made.
      if(NOT KORVANE_WIN64_DEPS OR NOT EXISTS "${_prefix}/.built")
        message(FATAL_ERROR "The Windows library '${_prefix}' is missing or unfinished: run "
                            "scripts/build_windows_deps.sh (KORVANE_WIN64_DEPS is '${KORVANE_WIN64_DEPS}')")
      endif()
    endif()
    list(APPEND _prefixes "${_prefix}")
  endforeach()
  set(CMAKE_PREFIX_PATH ${_prefixes})
  # find_package keeps what it found in the cache: when the cache moved, forget the old
  # places, or a build folder would go on using a copy that may be gone.
  if(DEFINED KORVANE_WIN64_DEPS_USED AND NOT KORVANE_WIN64_DEPS_USED STREQUAL KORVANE_WIN64_DEPS)
    get_cmake_property(_entries CACHE_VARIABLES)
    foreach(_entry IN LISTS _entries)
      string(FIND "${${_entry}}" "${KORVANE_WIN64_DEPS_USED}/" _at)
      if(_at EQUAL 0)
        unset(${_entry} CACHE)
      endif()
    endforeach()
  endif()
  set(KORVANE_WIN64_DEPS_USED "${KORVANE_WIN64_DEPS}" CACHE INTERNAL "The cache the libraries were found in")
  # The toolchain searches only below its roots: each library folder is a root of its own.
  list(APPEND CMAKE_FIND_ROOT_PATH ${_prefixes})
else()
  if(KORVANE_SANITIZE)
    list(JOIN KORVANE_SANITIZE "," _san)
    target_compile_options(korvane_options INTERFACE -fsanitize=${_san} -fno-omit-frame-pointer)
    target_link_options(korvane_options INTERFACE -fsanitize=${_san})
  endif()
  find_package(X11 REQUIRED)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  find_package(Threads REQUIRED)
endif()

# --- third-party libraries, found the same way on both platforms ---

find_package(Freetype REQUIRED)

# The updater never links the HTTP library: it embeds the built library, writes it next to
# itself and loads it at run time (the Windows DLL, Debian's libcurl4 shared object). It
# compiles against the headers only.
find_package(CURL REQUIRED)
add_library(korvane_curl_headers INTERFACE)
target_include_directories(korvane_curl_headers INTERFACE
  $<TARGET_PROPERTY:CURL::libcurl,INTERFACE_INCLUDE_DIRECTORIES>)

# The library file behind CURL::libcurl (the DLL on Windows, not its import library), for
# the embedded-file step. Read at configure time: configure_file cannot take generator
# expressions. The build's configuration may be one the package was not built in, so fall
# back to the configurations it has, as CMake's linking does.
function(korvane_imported_file target out)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" _config)
  get_target_property(_configs ${target} IMPORTED_CONFIGURATIONS)
  set(_candidates IMPORTED_LOCATION_${_config} IMPORTED_LOCATION)
  foreach(_c IN LISTS _configs)
    list(APPEND _candidates IMPORTED_LOCATION_${_c})
  endforeach()
  foreach(_property IN LISTS _candidates)
    get_target_property(_file ${target} ${_property})
    if(_file)
      # Debian's libcurl.so is a link to the versioned file: embed the file itself.
      file(REAL_PATH "${_file}" _file)
      set(${out} "${_file}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "No library file for ${target} (looked at: ${_candidates})")
endfunction()
korvane_imported_file(CURL::libcurl _embedded_curl)
if(NOT _embedded_curl MATCHES "\\.(dll|so)(\\.[0-9]+)*$")
  message(FATAL_ERROR "The HTTP library found is '${_embedded_curl}': the updater loads it at run "
                      "time and needs the shared library (a .dll or .so)")
endif()
# In the cache so that tests outside CMake (the end-to-end ones) can compare against it.
set(KORVANE_EMBEDDED_CURL "${_embedded_curl}" CACHE INTERNAL "The HTTP library the updater embeds")
message(STATUS "Embedded HTTP library: ${KORVANE_EMBEDDED_CURL}")

# Release signatures: libsodium (Debian's libsodium-dev; for Windows the static library of
# the cache, whose headers must not ask for a DLL's imports).
find_path(KORVANE_SODIUM_INCLUDE_DIR sodium.h REQUIRED)
# The archive where there is one: libsodium is ours alone (libzstd is loaded with libcurl
# anyway), and linked in it costs the up-to-date start no library to map and bind.
find_library(KORVANE_SODIUM_LIBRARY NAMES libsodium.a sodium libsodium REQUIRED)
add_library(korvane_sodium UNKNOWN IMPORTED GLOBAL)
set_target_properties(korvane_sodium PROPERTIES
  IMPORTED_LOCATION "${KORVANE_SODIUM_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_SODIUM_INCLUDE_DIR}")
if(WIN32)
  set_property(TARGET korvane_sodium PROPERTY INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
endif()

# Patches: libzstd (Debian's libzstd-dev; for Windows the static library of the cache).
find_path(KORVANE_ZSTD_INCLUDE_DIR zstd.h REQUIRED)
find_library(KORVANE_ZSTD_LIBRARY NAMES zstd libzstd REQUIRED)
add_library(korvane_zstd UNKNOWN IMPORTED GLOBAL)
set_target_properties(korvane_zstd PROPERTIES
  IMPORTED_LOCATION "${KORVANE_ZSTD_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${KORVANE_ZSTD_INCLUDE_DIR}")
