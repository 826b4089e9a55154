# Fails when a recording under tests/data or samples has no golden case.
cmake_minimum_required(VERSION 3.20)
# Variables: SOURCE_DIR, COVERED (;-list of paths relative to SOURCE_DIR).
file(GLOB_RECURSE recordings RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/tests/data/*.edges ${SOURCE_DIR}/tests/data/*.flac
     ${SOURCE_DIR}/tests/data/*.wav ${SOURCE_DIR}/tests/data/*.pcm
     ${SOURCE_DIR}/samples/*.edges)
set(missing)
foreach(r IN LISTS recordings)
  if(NOT r IN_LIST COVERED)
    list(APPEND missing ${r})
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "recordings without a golden case in tests/golden/CMakeLists.txt:\n  ${text}")
endif()
list(LENGTH recordings n)
message(STATUS "${n} recordings, each with a golden case")
