# bench_query: sort, filter and find over a million rows.
add_executable(bench_query ${CMAKE_CURRENT_LIST_DIR}/bench_query.cpp)
target_link_libraries(bench_query PRIVATE brevadin_flags brevadin_logdata brevadin_common)
set_target_properties(bench_query PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
