# bench_load: loading a large W3C extended log (time shift, host names, filter).
add_executable(bench_load ${CMAKE_CURRENT_LIST_DIR}/bench_load.cpp)
target_link_libraries(bench_load PRIVATE brevadin_flags brevadin_logdata brevadin_common)
set_target_properties(bench_load PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
