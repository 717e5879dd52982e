# Configure-time reading of key files: run with
#   cmake -DSOURCE_DIR=<checkout> -DWORK_DIR=<scratch dir> -P key_file_configuration.cmake
# Each case writes a key file and runs the generator on it in a child cmake
# (a FATAL_ERROR ends the process that raises it).
cmake_minimum_required(VERSION 3.18)

if(DEFINED KEY_FILE)
  include(${SOURCE_DIR}/cmake/keys.cmake)
  installer_write_key_source("${KEY_FILE}" "${OUTPUT}")
  return()
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(READ "${SOURCE_DIR}/keys/test-keys.txt" good)
set(n 0)

# generate(<regex of the output; ^$ when it must succeed> [<item> <its new line>]...):
# runs the generator on the test keys with those lines replaced; on no file
# at all when the output must say so.
function(generate pattern)
  math(EXPR n "${n} + 1")
  set(n ${n} PARENT_SCOPE)
  set(keys "${WORK_DIR}/keys-${n}.txt")
  set(text "${good}")
  set(edits "${ARGN}")
  while(edits)
    list(POP_FRONT edits item line)
    string(REGEX REPLACE "\n${item} [^\n]*" "\n${line}" text "${text}")
  endwhile()
  if(NOT pattern MATCHES "no such file")
    file(WRITE "${keys}" "${text}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DKEY_FILE=${keys}
            -DOUTPUT=${WORK_DIR}/keys-${n}.cc -P ${CMAKE_CURRENT_LIST_FILE}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " out "${out}")  # undo cmake's line wrapping
  if(NOT (result EQUAL 0) EQUAL (pattern STREQUAL "^$") OR NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "case ${n} (${pattern}): result ${result}, output:\n${out}")
  endif()
endfunction()

generate("^$")
file(READ "${WORK_DIR}/keys-1.cc" source)
if(source MATCHES "dd20a43a6a2e74c9" OR source MATCHES "17ef7fc36caabde3")
  message(FATAL_ERROR "a private item reached the generated source")
endif()
# Release files may leave the private items out.
generate("^$" eddsa-seed "" legacy-secret "")
generate("keys-3.txt: legacy-public: missing" legacy-public "")
generate("eddsa-public: '3d258992' is not 64 hexadecimal digits" eddsa-public "eddsa-public 3d258992")
generate("legacy-public: .* is not 64 hexadecimal digits" legacy-public
         "legacy-public 78b0c7ffb71087b4ca6933d87e337409ebf960f56194b2326721f033e5ffcdzz")
generate("sha256-k: 3 values, expected 64" sha256-k "sha256-k 1 2 3")
generate("eddsa-seed: given twice" legacy-secret "eddsa-seed 00")
generate("sha256-x: unknown item" eddsa-seed "sha256-x 00000000")
generate("keys-9.txt: no such file")
