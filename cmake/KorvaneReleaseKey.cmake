# korvane_release_key_object(NAME KEY_FILE): an object library NAME holding only the text of
# the minisign public key KEY_FILE, for korvane executables to link beside korvane_updater.
# A second executable with another key costs this one small compile and a link. The file's
# shape is checked here so that a wrong file fails the configure, not a player's start.
set(KORVANE_RELEASE_KEY_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/../src/updater/release_key_text.cpp.in")

function(korvane_release_key_object name key_file)
  get_filename_component(key_file "${key_file}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
  if(NOT EXISTS "${key_file}")
    message(FATAL_ERROR "Release key '${key_file}' does not exist (a minisign.pub made by minisign -G)")
  endif()
  file(READ "${key_file}" KORVANE_KEY_TEXT)
  string(REGEX MATCH "^untrusted comment: [^\n]*\r?\n[A-Za-z0-9+/]+=*\r?\n?" _shape "${KORVANE_KEY_TEXT}")
  string(REGEX MATCH "\n([A-Za-z0-9+/]+=*)" _line "${KORVANE_KEY_TEXT}")
  string(LENGTH "${CMAKE_MATCH_1}" _length)
  if(NOT _shape OR NOT _length EQUAL 56)
    message(FATAL_ERROR "Release key '${key_file}' is not a minisign public key file: expected an "
                        "\"untrusted comment: \" line and a 56-character base64 key line")
  endif()
  set(_source "${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp")
  configure_file("${KORVANE_RELEASE_KEY_TEMPLATE}" "${_source}" @ONLY)
  add_library(${name} OBJECT "${_source}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key_file}")
endfunction()
