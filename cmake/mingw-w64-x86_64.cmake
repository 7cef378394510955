# Cross build for 64-bit Windows with the mingw-w64 compilers of the posix thread
# model (the win32 model has no std::thread or std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${KORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${KORVANE_MINGW_PREFIX}-windres)

# The target's own headers and libraries (the mingw-w64 runtime) sit under the compiler's
# root. Ask the compiler: its sysroot when it was built with one, else the folder above
# the one holding its kernel32 import library.
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-sysroot
                OUTPUT_VARIABLE KORVANE_MINGW_ROOT OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE _result ERROR_QUIET)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${CMAKE_C_COMPILER} does not run: install mingw-w64 (scripts/setup.sh)")
endif()
if(NOT KORVANE_MINGW_ROOT)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libkernel32.a
                  OUTPUT_VARIABLE _kernel32 OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_kernel32}")
    message(FATAL_ERROR "${CMAKE_C_COMPILER} has no libkernel32.a: is the mingw-w64 runtime installed?")
  endif()
  file(REAL_PATH "${_kernel32}" _kernel32)
  cmake_path(GET _kernel32 PARENT_PATH _lib_dir)
  cmake_path(GET _lib_dir PARENT_PATH KORVANE_MINGW_ROOT)
endif()
set(CMAKE_FIND_ROOT_PATH ${KORVANE_MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unit tests run under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_run.sh)
