# cmake -DREADME=<README.md> -P check_job_tables.cmake
# The README's table of each job's end codes is the one the codes list gives;
# including the list checks that every failure has its words.
include(${CMAKE_CURRENT_LIST_DIR}/QuillonJobCodes.cmake)
file(READ "${README}" readme)
foreach(job_entry IN LISTS QUILLON_JOBS)
  string(REGEX REPLACE "\\|.*" "" job "${job_entry}")
  if(QUILLON_JOB_TABLE_${job} STREQUAL "")
    continue()
  endif()
  # The whole table, ending where the README's table does.
  set(table "these codes:\n\n${QUILLON_JOB_TABLE_${job}}\n")
  string(FIND "${readme}" "${table}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "README.md lacks the table of the ${job} job's end codes as the codes list gives it:\n\n${table}")
  endif()
endforeach()
