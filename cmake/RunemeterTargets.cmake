# Each src/ folder holds core files (no Qt) and window files (Qt). A folder's
# CMakeLists.txt calls runemeter_add_sources() with the list of its window
# files; every other .cpp in the folder goes to runemeter_core.
set(RUNEMETER_CORE_SOURCES "" CACHE INTERNAL "")
set(RUNEMETER_UI_SOURCES "" CACHE INTERNAL "")

function(runemeter_add_sources)
  cmake_parse_arguments(ARG "" "" "UI" ${ARGN})
  file(GLOB all_cpp CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  set(ui_full "")
  foreach(f IN LISTS ARG_UI)
    list(APPEND ui_full "${CMAKE_CURRENT_SOURCE_DIR}/${f}")
  endforeach()
  set(core ${all_cpp})
  if(ui_full)
    list(REMOVE_ITEM core ${ui_full})
  endif()
  set(RUNEMETER_CORE_SOURCES ${RUNEMETER_CORE_SOURCES} ${core} CACHE INTERNAL "")
  set(RUNEMETER_UI_SOURCES ${RUNEMETER_UI_SOURCES} ${ui_full} CACHE INTERNAL "")
endfunction()
