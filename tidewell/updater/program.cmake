# The Windows side: start-up, the WinInet transfer, the window with its steps
# and the confirmation dialog; tidewell.exe with its resources.
mw_add_library(tidewell_fetch
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_fetch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/http_fetch_url.cpp
    ${CMAKE_CURRENT_LIST_DIR}/http_fetch_worker.cpp
  LIBS tidewell_core wininet)

mw_add_library(tidewell_updater
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/updater_startup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/info_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_steps.cpp
    ${CMAKE_CURRENT_LIST_DIR}/status_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/logo_surface.cpp
    ${CMAKE_CURRENT_LIST_DIR}/confirm_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/apply_update.cpp
    ${CMAKE_CURRENT_LIST_DIR}/apply_done.cpp
    ${CMAKE_CURRENT_LIST_DIR}/apply_archive.cpp
    ${CMAKE_CURRENT_LIST_DIR}/apply_stage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/apply_commit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/apply_files.cpp
  LIBS tidewell_fetch lzh common_files comctl32 gdi32 user32 shell32)

mw_add_executable(tidewell WIN32 WINDOWS_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tidewell_main.cpp
    ${CMAKE_SOURCE_DIR}/tidewell/resources/tidewell.rc
  LIBS tidewell_updater)
