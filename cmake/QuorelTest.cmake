# quorel_add_test(NAME name SOURCES ... LIBS ...)
# Builds one GoogleTest executable beside the code it tests and registers
# its cases with CTest.
function(quorel_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QUOREL_TIME_SCALE=0.001")
endfunction()
