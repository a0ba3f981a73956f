# Small changes to large tables made in place (10 MB, and 1 GB with
# BENCH_LARGE): a cell, a row appended, a keyword added and an open with no
# change through the c_ entry points, against pwrite() and CFITSIO in place;
# time, bytes written and peak memory.
add_executable(bench_change ${CMAKE_CURRENT_LIST_DIR}/bench_change.cpp)
target_link_libraries(bench_change PRIVATE halvo vos PkgConfig::CFITSIO benchmark::benchmark)
