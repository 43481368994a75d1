# Parallel reverse lookups of the host-name cache against a slow fake resolver.
add_executable(bench_resolve ${CMAKE_CURRENT_LIST_DIR}/bench_resolve.cpp)
target_link_libraries(bench_resolve PRIVATE brevadin_flags brevadin_netlookup)
