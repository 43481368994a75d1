# bench_summary: a tab's summary over a million rows.
add_executable(bench_summary ${CMAKE_CURRENT_LIST_DIR}/bench_summary.cpp)
target_link_libraries(bench_summary PRIVATE brevadin_flags brevadin_logdata brevadin_common)
set_target_properties(bench_summary PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
