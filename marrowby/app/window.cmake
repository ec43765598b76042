# The main window with its controls and commands, the program entry and
# marrowby.exe.
mw_add_library(marrowby_window
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_file_dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/updater_launch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handover.cpp
    ${CMAKE_CURRENT_LIST_DIR}/row_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/row_tip.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_notice.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_entry.cpp
  LIBS marrowby_sheets marrowby_list marrowby_dialogs comdlg32 shell32 ole32 uuid comctl32 ws2_32
       gdi32 user32)

mw_add_executable(marrowby WIN32 WINDOWS_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/program_entry_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../resources/marrowby.rc
  LIBS marrowby_window)
