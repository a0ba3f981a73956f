# The tool's whole run (demo installation, stand-in server, the real quorel
# binary) for 10^2 to 10^5 components, beside the same run against a server
# that replays recorded replies.
if(TARGET quorel AND TARGET standin_support AND TARGET demo_catalogue)
  add_executable(rss_launch ${CMAKE_CURRENT_LIST_DIR}/rss_launch.cpp)
  add_executable(bench_run ${CMAKE_CURRENT_LIST_DIR}/bench_run.cpp)
  target_link_libraries(bench_run PRIVATE demo_catalogue standin_support benchmark::benchmark)
  target_compile_definitions(bench_run PRIVATE
                             ORVO_ROOT_DIR="${QUOREL_TREE_ROOT}" QUOREL_EXE="$<TARGET_FILE:quorel>"
                             RSS_LAUNCH_EXE="$<TARGET_FILE:rss_launch>")
  add_dependencies(bench_run quorel standin_server rss_launch)
endif()
