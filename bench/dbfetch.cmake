# DB client fetch: 10^5 rows of the tool's result shape from a server that
# replays a recorded reply in one go, against a plain loopback read of the
# same bytes written in one go.
add_executable(bench_dbfetch ${CMAKE_CURRENT_LIST_DIR}/bench_dbfetch.cpp)
# The stand-in's framing of a reply gives the baseline the very bytes the
# server writes.
target_link_libraries(bench_dbfetch PRIVATE dblib standin_support standin_core PkgConfig::SQLITE3
                      benchmark::benchmark)
