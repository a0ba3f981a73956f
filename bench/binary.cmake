# Binary table storage: the tool's table shape through the c_ entry points
# against plain write()/read() of the same file bytes.
add_executable(bench_binary ${CMAKE_CURRENT_LIST_DIR}/bench_binary.cpp)
target_link_libraries(bench_binary PRIVATE halvo benchmark::benchmark)
