# Change sessions of every size on 100 MB tables (1 GB with BENCH_LARGE):
# random cells, a whole column, rows deleted and inserted, many one-cell
# sessions and read-only opens, through the entry points callers use,
# against pwrite() + fsync() and CFITSIO in place + fsync(); time, bytes
# written, peak memory and fsync calls.
add_executable(bench_session ${CMAKE_CURRENT_LIST_DIR}/bench_session.cpp)
target_link_libraries(bench_session PRIVATE halvo tablelib vos PkgConfig::CFITSIO benchmark::benchmark)
