# Read-only opens: one open, one cell read and the close through the c_
# entry points, for binary, text and FITS tables, against plain reads of
# the same bytes and CFITSIO.
add_executable(bench_open ${CMAKE_CURRENT_LIST_DIR}/bench_open.cpp)
target_link_libraries(bench_open PRIVATE halvo vos PkgConfig::CFITSIO benchmark::benchmark)
