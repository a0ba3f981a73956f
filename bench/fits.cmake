# FITS storage: the tool's output table (10^5 rows) written through the
# host binding's c_ entry points against direct CFITSIO calls.
add_executable(bench_fits ${CMAKE_CURRENT_LIST_DIR}/bench_fits.cpp)
target_link_libraries(bench_fits PRIVATE halvo tbfits tablelib vos PkgConfig::CFITSIO
                      benchmark::benchmark)
