# Tests run every fixed wait (pauses, retry delays, time-outs) through the
# clock seam shortened by this factor (QUOREL_TIME_SCALE in their
# environment, which the test programs read through plat_clock_env).  Time-outs shrink with it, so it is
# kept large enough that a loaded machine still answers a login in time:
# 0.02 makes the 60-second login time-out 1.2 s and the 10-second deadlock
# pause 0.2 s.
set(QUOREL_TEST_TIME_SCALE 0.02 CACHE STRING "Clock-seam scale of the tests' waits")

# quorel_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds])
# Builds one GoogleTest executable beside the code it tests and registers
# its cases with CTest.  TIMEOUT bounds each case (the default is the test
# preset's); cases that would run for ever if a bound on their work were
# lost set one, so that they fail instead of holding the run.
function(quorel_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} plat_clock_env GTest::gtest GTest::gtest_main)
  set(_props ENVIRONMENT "QUOREL_TIME_SCALE=${QUOREL_TEST_TIME_SCALE}")
  if(T_TIMEOUT)
    list(APPEND _props TIMEOUT ${T_TIMEOUT})
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${_props})
endfunction()

# quorel_dir_library(NAME lib [LIBS ...] [TEST_LIBS ...] [TEST_TIMEOUT seconds])
# A library made of every *.cpp of the calling directory except *_test.cpp
# and the fuzz targets (*_fuzz.cpp, see QuorelFuzz.cmake),
# with public headers under include/, and one test executable <lib>_test made
# of the *_test.cpp files (when there are any).  Used by the directories that
# several people add files to at once, so nobody has to edit the list.
function(quorel_dir_library)
  cmake_parse_arguments(D "" "NAME;TEST_TIMEOUT" "LIBS;TEST_LIBS" ${ARGN})
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_src) 
  set(_tests)
  foreach(f ${_all})
    if(f MATCHES "_test\\.cpp$")
      list(APPEND _tests ${f})
    elseif(f MATCHES "_fuzz\\.cpp$")
      # a fuzz target, registered by its directory with quorel_add_fuzz
    else()
      list(APPEND _src ${f})
    endif()
  endforeach()
  if(NOT _src)
    set(_src ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${D_NAME} STATIC ${_src})
  target_include_directories(${D_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                        PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${D_NAME} PUBLIC ${D_LIBS})
  if(_tests)
    quorel_add_test(NAME ${D_NAME}_test SOURCES ${_tests} LIBS ${D_NAME} ${D_TEST_LIBS}
                    TIMEOUT ${D_TEST_TIMEOUT})
    target_include_directories(${D_NAME}_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
endfunction()
