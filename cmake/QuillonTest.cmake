include(GoogleTest)

# quillon_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABEL <label>])
# One GoogleTest executable; every test case becomes a ctest test carrying the label.
# One label only: test discovery does not keep a list of them. Labels are matched
# as patterns, so "gui-slow" is selected by both -L gui and -L slow.
function(quillon_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${T_NAME} PRIVATE
    QUILLON_APP_DIR="${QUILLON_APP_DIR}"
    QUILLON_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(labels unit)
  if(T_LABEL)
    set(labels ${T_LABEL})
  endif()
  # Tests that drive windows share one display and its keyboard focus.
  set(serial FALSE)
  if(labels MATCHES "gui")
    set(serial TRUE)
  endif()
  gtest_discover_tests(${T_NAME} PROPERTIES LABELS "${labels}" RUN_SERIAL ${serial} DISCOVERY_TIMEOUT 60)
endfunction()
