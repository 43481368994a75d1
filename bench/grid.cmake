# bench_grid: the tabbed grid view over a million rows, and the progress dialog.
if(BREVADIN_GUI)
  add_executable(bench_grid ${CMAKE_CURRENT_LIST_DIR}/bench_grid.cpp)
  target_link_libraries(bench_grid PRIVATE brevadin_flags brevadin_gridview_gui
                        brevadin_export_gui brevadin_logdata)
  set_target_properties(bench_grid PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endif()
