# One folder, one core library: every .cpp of the folder except main.cpp,
# the windows and Qt adapters (files named frm*, qt*, datagridtab*) goes into the Qt-free
# library brevadin_<folder>. Those Qt files go into brevadin_<folder>_gui,
# which the viewer links.
function(brevadin_module name)
  cmake_parse_arguments(M "" "" "DEPS;GUI_DEPS" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(core_sources)
  set(gui_sources)
  foreach(f ${all_sources})
    get_filename_component(base ${f} NAME)
    if(base STREQUAL "main.cpp")
      # An executable's entry point: its folder's CMakeLists adds it.
      continue()
    elseif(base MATCHES "^(frm|qt|datagridtab)")
      list(APPEND gui_sources ${f})
    else()
      list(APPEND core_sources ${f})
    endif()
  endforeach()
  if(core_sources)
    add_library(brevadin_${name} STATIC ${core_sources})
    target_link_libraries(brevadin_${name} PUBLIC brevadin_flags ${M_DEPS})
  endif()
  if(gui_sources AND BREVADIN_GUI)
    add_library(brevadin_${name}_gui STATIC ${gui_sources})
    target_link_libraries(brevadin_${name}_gui PUBLIC brevadin_flags ${M_GUI_DEPS}
                          Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network)
    if(TARGET brevadin_${name})
      target_link_libraries(brevadin_${name}_gui PUBLIC brevadin_${name})
    endif()
  endif()
endfunction()
