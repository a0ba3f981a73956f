# DB client fetch: 10^5 rows of the tool's result shape from a server that
# replays a recorded reply, against a plain loopback read of the same bytes.
add_executable(bench_dbfetch ${CMAKE_CURRENT_LIST_DIR}/bench_dbfetch.cpp)
target_link_libraries(bench_dbfetch PRIVATE dblib standin_support PkgConfig::SQLITE3
                      benchmark::benchmark)
