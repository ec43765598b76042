# Helper for the program tests: sends WM_CLOSE to marrowby's main window.
mw_add_executable(wm_close WINDOWS_ONLY SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_close.cpp LIBS user32)
