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

# quorel_dir_library(NAME lib [LIBS ...] [TEST_LIBS ...])
# A library made of every *.cpp of the calling directory except *_test.cpp,
# with public headers under include/, and one test executable <lib>_test made
# of the *_test.cpp files (when there are any).  Used by the directories that
# several people add files to at once, so nobody has to edit the list.
function(quorel_dir_library)
  cmake_parse_arguments(D "" "NAME" "LIBS;TEST_LIBS" ${ARGN})
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_src) 
  set(_tests)
  foreach(f ${_all})
    if(f MATCHES "_test\\.cpp$")
      list(APPEND _tests ${f})
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
    quorel_add_test(NAME ${D_NAME}_test SOURCES ${_tests} LIBS ${D_NAME} ${D_TEST_LIBS})
    target_include_directories(${D_NAME}_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
endfunction()
