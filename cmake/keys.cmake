# Built-in verification data.
#
# The key file (INSTALLER_KEY_FILE) holds one item per line: a name, then its
# value in hexadecimal; lines starting with '#' and blank lines are skipped.
# The public items become a generated C++ source in installer_core:
#
#   eddsa-public   Ed25519 public key, 64 hex digits
#   legacy-public  u-coordinate on Curve25519 (little-endian), 64 hex digits
#   sha256-k       64 words of 8 hex digits: round constants of the package hash
#   sha256-h       8 words of 8 hex digits: its initial hash words
#
# The private items (eddsa-seed, legacy-secret) are recognised and skipped;
# only the signing tool reads them. A release key file may leave them out.
#
# Pure CMake script, so that it works the same for cross builds; usable with
# `cmake -P` too (the functions only), which the tests do.
include_guard(GLOBAL)

function(_installer_key_error file item text)
  message(FATAL_ERROR "key file ${file}: ${item}: ${text}")
endfunction()

# Checks that every word is <digits> hexadecimal digits.
function(_installer_check_hex file item digits words)
  foreach(word IN LISTS words)
    string(LENGTH "${word}" length)
    if(NOT length EQUAL digits OR NOT word MATCHES "^[0-9A-Fa-f]+$")
      _installer_key_error("${file}" "${item}"
        "'${word}' is not ${digits} hexadecimal digits")
    endif()
  endforeach()
endfunction()

# installer_read_public_keys(<file> <prefix>)
# Sets <prefix>_eddsa-public, <prefix>_legacy-public, <prefix>_sha256-k and
# <prefix>_sha256-h in the caller to the item's words (a list). Stops the
# configure step on a missing file, an unknown, repeated, missing or
# malformed item.
function(installer_read_public_keys file prefix)
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "key file ${file}: no such file")
  endif()
  set(public eddsa-public legacy-public sha256-k sha256-h)
  set(private eddsa-seed legacy-secret)
  set(words_eddsa-public 1)
  set(words_legacy-public 1)
  set(words_sha256-k 64)
  set(words_sha256-h 8)
  set(digits_eddsa-public 64)
  set(digits_legacy-public 64)
  set(digits_sha256-k 8)
  set(digits_sha256-h 8)

  file(STRINGS "${file}" lines)
  set(seen "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REGEX MATCHALL "[^ \t]+" words "${line}")
    list(POP_FRONT words item)
    if(NOT item IN_LIST public AND NOT item IN_LIST private)
      _installer_key_error("${file}" "${item}" "unknown item")
    endif()
    if(item IN_LIST seen)
      _installer_key_error("${file}" "${item}" "given twice")
    endif()
    list(APPEND seen "${item}")
    if(item IN_LIST private)
      continue()
    endif()
    list(LENGTH words count)
    if(NOT count EQUAL words_${item})
      _installer_key_error("${file}" "${item}"
        "${count} values, expected ${words_${item}}")
    endif()
    _installer_check_hex("${file}" "${item}" ${digits_${item}} "${words}")
    string(TOLOWER "${words}" words)
    set(${prefix}_${item} "${words}" PARENT_SCOPE)
  endforeach()

  foreach(item IN LISTS public)
    if(NOT item IN_LIST seen)
      _installer_key_error("${file}" "${item}" "missing")
    endif()
  endforeach()
endfunction()

# "0a1b..." -> "0x0a, 0x1b, ..."
function(_installer_byte_list hex out)
  string(REGEX REPLACE "(..)" "0x\\1, " bytes "${hex}")
  string(REGEX REPLACE ", $" "" bytes "${bytes}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

# "w1;w2;..." -> "0xw1u, 0xw2u, ..."
function(_installer_word_list words out)
  list(TRANSFORM words PREPEND "0x")
  list(TRANSFORM words APPEND "u")
  list(JOIN words ", " text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# installer_write_key_source(<key file> <output source>)
# Writes the definitions of pkgfile/built_in_keys.h; the file is rewritten only
# when its text changes.
function(installer_write_key_source file output)
  installer_read_public_keys("${file}" key)
  _installer_byte_list("${key_eddsa-public}" eddsa_public)
  _installer_byte_list("${key_legacy-public}" legacy_public)
  _installer_word_list("${key_sha256-k}" round_constants)
  _installer_word_list("${key_sha256-h}" initial_words)
  file(CONFIGURE OUTPUT "${output}" @ONLY CONTENT [[
// Generated at configure time from @file@. Do not edit.
#include "pkgfile/built_in_keys.h"

const uint8_t eddsaPublicKey[32] = {@eddsa_public@};
const uint8_t legacyPublicKey[32] = {@legacy_public@};
const uint32_t packageHashRoundConstants[64] = {@round_constants@};
const uint32_t packageHashInitialWords[8] = {@initial_words@};
]])
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(INSTALLER_KEY_FILE "${CMAKE_SOURCE_DIR}/keys/test-keys.txt" CACHE FILEPATH
      "Key file whose public items are built into the installer (the default holds test keys)")
  set(_installer_key_source "${CMAKE_BINARY_DIR}/generated/built_in_keys.cc")
  installer_write_key_source("${INSTALLER_KEY_FILE}" "${_installer_key_source}")
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY
               CMAKE_CONFIGURE_DEPENDS "${INSTALLER_KEY_FILE}")
  target_sources(installer_core PRIVATE "${_installer_key_source}")
endif()
