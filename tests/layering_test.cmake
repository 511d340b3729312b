# Fails when a product source includes a header of a folder it may not depend on.
# The order is the README's own sentence, "The dependencies run one way, each
# folder on those before it: ...": groups of folders in backquotes, separated by
# semicolons; a folder may include its own headers and those of earlier groups.
# Run as: cmake -DSOURCE_DIR=<tree> -P layering_test.cmake

file(READ "${SOURCE_DIR}/README.md" readme)
string(REGEX MATCH "\nThe dependencies run one way, each folder on those before it: [^\n]*" orderLine "${readme}")
if(NOT orderLine)
  message(FATAL_ERROR "README.md states no dependency order")
endif()
string(REGEX REPLACE "^[^:]*: " "" orderLine "${orderLine}")
string(REGEX REPLACE "\\.$" "" orderLine "${orderLine}")

set(rank 0)
set(groups "${orderLine}")
foreach(group IN LISTS groups)
  string(REGEX MATCHALL "`[a-z_]+/`" folders "${group}")
  foreach(folder IN LISTS folders)
    string(REGEX REPLACE "[`/]" "" folder "${folder}")
    set(rank_${folder} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

# Every folder with sources is product code, except the tests and benchmarks.
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h.in")
set(faults "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(folder MATCHES "^(tests|bench|build.*)$" OR folder STREQUAL source)
    continue()
  endif()
  if(NOT DEFINED rank_${folder})
    string(APPEND faults "\n  ${folder}/ is not in the README's dependency order")
    set(rank_${folder} -1)
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^#include \"[a-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" used "${line}")
    if(used STREQUAL folder)
      continue()
    endif()
    if(NOT DEFINED rank_${used} OR NOT rank_${used} LESS rank_${folder})
      string(APPEND faults "\n  ${source}: ${line}")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "includes against the dependency order:${faults}")
endif()
