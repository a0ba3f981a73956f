# FITS storage: the tool's output table (10^5 rows) put cell by cell, put
# and got column by column through the host binding's c_ entry points, each
# against CFITSIO called directly.
add_executable(bench_fits ${CMAKE_CURRENT_LIST_DIR}/bench_fits.cpp)
target_link_libraries(bench_fits PRIVATE halvo tbfits tablelib vos PkgConfig::CFITSIO
                      benchmark::benchmark)
