include(GoogleTest)

# quillon_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable; every test case becomes a ctest test carrying the labels.
function(quillon_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${T_NAME} PRIVATE
    QUILLON_APP_DIR="${QUILLON_APP_DIR}"
    QUILLON_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(labels unit)
  if(T_LABELS)
    set(labels ${T_LABELS})
  endif()
  # Tests that drive windows share one display and its keyboard focus.
  set(serial FALSE)
  if("gui" IN_LIST labels)
    set(serial TRUE)
  endif()
  # The discovered tests' properties pass through one more list expansion, so a
  # list of labels needs its separators escaped to arrive whole.
  string(REPLACE ";" "\\;" escaped_labels "${labels}")
  gtest_discover_tests(${T_NAME} PROPERTIES LABELS "${escaped_labels}" RUN_SERIAL ${serial} DISCOVERY_TIMEOUT 60)
endfunction()
