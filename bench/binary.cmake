# Binary table storage: the tool's table shape through the row-ordered back
# end against plain write()/read() of the same bytes.
add_executable(bench_binary ${CMAKE_CURRENT_LIST_DIR}/bench_binary.cpp)
target_link_libraries(bench_binary PRIVATE tbbinary tablelib vos benchmark::benchmark)
