# Tables at scale: column-ordered appends and row deletions through the c_
# entry points against fwrite, a file copy and CFITSIO's row deletion.
add_executable(bench_rows ${CMAKE_CURRENT_LIST_DIR}/bench_rows.cpp)
target_link_libraries(bench_rows PRIVATE halvo PkgConfig::CFITSIO benchmark::benchmark)
