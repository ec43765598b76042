# Opening and closing marrowby.exe with a list of many items, timed from
# outside (bench/list_window.sh).
mw_add_executable(list_window_probe WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/list_window_probe.cpp
  LIBS comctl32 psapi user32)
