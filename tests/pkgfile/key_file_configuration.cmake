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

set(case_count 0)
# generate(<key file text, or ABSENT for none> <1 when it must fail, else 0>
#          <regex the output must match>)
function(generate text expect_failure pattern)
  math(EXPR n "${case_count} + 1")
  set(case_count ${n} PARENT_SCOPE)
  set(keys "${WORK_DIR}/keys-${n}.txt")
  if(NOT text STREQUAL "ABSENT")
    file(WRITE "${keys}" "${text}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DKEY_FILE=${keys}
            -DOUTPUT=${WORK_DIR}/keys-${n}.cc -P ${CMAKE_CURRENT_LIST_FILE}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " out "${out}")  # undo cmake's line wrapping
  if(result EQUAL 0)
    set(failed 0)
  else()
    set(failed 1)
  endif()
  if(NOT failed EQUAL expect_failure OR NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "case ${n} (${pattern}): result ${result}, output:\n${out}")
  endif()
endfunction()

# replaced(<item> <new line or empty> <out var>): the test keys with one line changed.
function(replaced item line out)
  string(REGEX REPLACE "\n${item} [^\n]*" "\n${line}" text "${good}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

generate("${good}" 0 "^$")
file(READ "${WORK_DIR}/keys-1.cc" source)
foreach(secret "dd20a43a6a2e74c9" "17ef7fc36caabde3")
  if(source MATCHES "${secret}")
    message(FATAL_ERROR "a private item reached the generated source")
  endif()
endforeach()

# Release files may leave the private items out.
replaced(eddsa-seed "" text)
replaced(legacy-secret "" text)
generate("${text}" 0 "^$")

replaced(legacy-public "" text)
generate("${text}" 1 "keys-[0-9]+.txt: legacy-public: missing")
replaced(eddsa-public "eddsa-public 3d258992" text)
generate("${text}" 1 "eddsa-public: '3d258992' is not 64 hexadecimal digits")
replaced(legacy-public "legacy-public 78b0c7ffb71087b4ca6933d87e337409ebf960f56194b2326721f033e5ffcdzz" text)
generate("${text}" 1 "legacy-public: .* is not 64 hexadecimal digits")
replaced(sha256-k "sha256-k 1 2 3" text)
generate("${text}" 1 "sha256-k: 3 values, expected 64")
generate("${good}sha256-h 00000000\n" 1 "sha256-h: given twice")
generate("${good}sha256-x 00000000\n" 1 "sha256-x: unknown item")
generate(ABSENT 1 "keys-[0-9]+.txt: no such file")
