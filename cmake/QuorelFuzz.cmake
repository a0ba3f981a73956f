# Fuzz targets.
#
# A fuzz target is one <name>.cpp (by convention x_fuzz.cpp beside the x.cpp
# whose parser it drives) defining LLVMFuzzerTestOneInput, with its inputs
# in a directory of the same name beside it:
#   <name>/seeds        a small seed corpus (valid inputs of the format)
#   <name>/regressions  minimised inputs that once failed, kept for ever
#
# quorel_add_fuzz(NAME name [SOURCES ...] LIBS ...)
#
# In an ordinary build the target is linked with the replay driver and
# registered as the test <name>_replay, which runs every seed and regression
# input once under the build's sanitizers.  In a fuzzing build (QUOREL_FUZZ,
# clang; see scripts/fuzz.sh) it becomes a libFuzzer program in
# <build>/fuzz/bin, and <build>/fuzz/<name>.dir names its input directory.
option(QUOREL_FUZZ "Build the fuzz targets as libFuzzer programs (clang only)" OFF)

if(QUOREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUOREL_FUZZ needs clang (libFuzzer)")
  endif()
  # Coverage feedback for every library the targets link.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_custom_target(quorel_fuzzers)
  file(GLOB _old_dirs ${CMAKE_BINARY_DIR}/fuzz/*.dir)
  if(_old_dirs)
    file(REMOVE ${_old_dirs})
  endif()
endif()

function(quorel_add_fuzz)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  set(_inputs ${CMAKE_CURRENT_SOURCE_DIR}/${F_NAME})
  if(QUOREL_FUZZ)
    add_executable(${F_NAME} ${F_NAME}.cpp ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} fuzz_support plat_clock_env)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz/bin)
    add_dependencies(quorel_fuzzers ${F_NAME})
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}.dir "${_inputs}\n")
  else()
    add_executable(${F_NAME}_replay ${F_NAME}.cpp ${F_SOURCES})
    target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS} fuzz_support fuzz_replay plat_clock_env)
    add_test(NAME ${F_NAME}_replay
             COMMAND ${F_NAME}_replay ${_inputs}/seeds ${_inputs}/regressions)
    set_tests_properties(${F_NAME}_replay PROPERTIES ENVIRONMENT "QUOREL_TIME_SCALE=0.001")
  endif()
endfunction()
