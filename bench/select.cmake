# Row selectors: walking a row set by rank, and selecting the rows of a
# 10^5-row table by expression against reading the same cells directly.
add_executable(bench_select ${CMAKE_CURRENT_LIST_DIR}/bench_select.cpp)
target_link_libraries(bench_select PRIVATE tbselector tablelib vos benchmark::benchmark)
