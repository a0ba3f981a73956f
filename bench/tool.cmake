# The tool's own in-memory work for 10^2 to 10^4 components: cleaning and
# storing fetched rows, and choosing throughput columns by similarity.
add_executable(bench_tool ${CMAKE_CURRENT_LIST_DIR}/bench_tool.cpp)
target_link_libraries(bench_tool PRIVATE quorel_core benchmark::benchmark)
