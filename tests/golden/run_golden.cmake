# Runs the monitor on one recording and compares its output byte for byte with
cmake_minimum_required(VERSION 3.21)
# the checked-in expected file (and the filter log, when a settings template
# with a filter log is given). With SKELMAR_UPDATE_GOLDEN=1 in the environment
# it writes the expected files instead.
#
# Variables: SKELMAR, NAME, MODE (text|json), INPUT (;-list of input options),
# EXPECTED_DIR, WORK_DIR, CONFIG (settings file or template with @FILTER_LOG@).

set(start_time 2026-01-01T00:00:00Z)
if(NOT EXPECTED_NAME)
  set(EXPECTED_NAME ${NAME})
endif()
file(MAKE_DIRECTORY ${WORK_DIR})
set(actual ${WORK_DIR}/${NAME}.${MODE}.out)
if(MODE STREQUAL "json")
  set(expected ${EXPECTED_DIR}/${EXPECTED_NAME}.jsonl)
  set(mode_options --json)
else()
  set(expected ${EXPECTED_DIR}/${EXPECTED_NAME}.txt)
  set(mode_options)
endif()

# A settings file of our own keeps the user's Skelmar.INI out of the result.
file(READ ${CONFIG} config_text)
set(log ${WORK_DIR}/${NAME}.${MODE}.log)
set(has_log FALSE)
if(config_text MATCHES "@FILTER_LOG@")
  set(has_log TRUE)
  string(REPLACE "@FILTER_LOG@" "${log}" config_text "${config_text}")
  file(REMOVE ${log})
endif()
set(config ${WORK_DIR}/${NAME}.${MODE}.ini)
file(WRITE ${config} "${config_text}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C TZ=UTC
          ${SKELMAR} --console ${INPUT} --config ${config} --start-time ${start_time} --color=never -q
          ${mode_options}
  OUTPUT_FILE ${actual}
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "skelmar ${INPUT} ended with status ${status}:\n${errors}")
endif()

function(compare expected_file actual_file)
  if(DEFINED ENV{SKELMAR_UPDATE_GOLDEN} AND "$ENV{SKELMAR_UPDATE_GOLDEN}" STREQUAL "1")
    file(COPY_FILE ${actual_file} ${expected_file})
    message(STATUS "updated ${expected_file}")
    return()
  endif()
  if(NOT EXISTS ${expected_file})
    message(FATAL_ERROR "no expected file ${expected_file} (see tests/golden/README.md)")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${expected_file} ${actual_file}
                  RESULT_VARIABLE differs)
  if(differs)
    find_program(DIFF diff)
    if(DIFF)
      execute_process(COMMAND ${DIFF} -u ${expected_file} ${actual_file} OUTPUT_VARIABLE delta)
    else()
      set(delta "(no diff program; compare the files by hand)")
    endif()
    message(FATAL_ERROR "${actual_file} differs from ${expected_file}:\n${delta}")
  endif()
endfunction()

compare(${expected} ${actual})
if(has_log)
  if(NOT EXISTS ${log})
    message(FATAL_ERROR "the filter log ${log} was not written")
  endif()
  compare(${EXPECTED_DIR}/${EXPECTED_NAME}.log ${log})
endif()
