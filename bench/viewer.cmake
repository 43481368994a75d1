# bench_viewer: start-up with a folder of 1,000 logs, and a million-line log
# from the double-click to the sorted grid on screen.
if(BREVADIN_GUI)
  add_executable(bench_viewer ${CMAKE_CURRENT_LIST_DIR}/bench_viewer.cpp)
  target_link_libraries(bench_viewer PRIVATE brevadin_flags brevadin_app_gui)
endif()
