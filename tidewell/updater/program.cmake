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
    ${CMAKE_CURRENT_LIST_DIR}/publisher_keys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_digest.cpp
  LIBS tidewell_fetch tidewell_signature lzh common_files comctl32 gdi32 user32 shell32 bcrypt)

# The publisher's public key built into tidewell.exe: a key file made by
# "tidewell-publish keygen". Without one Tidewell takes unsigned updates.
set(TIDEWELL_PUBLIC_KEY_FILE "" CACHE FILEPATH "Public key file built into tidewell.exe (empty: none)")

# A resource script holding key_file as the key resource (id 300, as
# IDR_PUBLIC_KEY says), or no script at all.
function(tidewell_key_resource out key_file)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${out}.rc")
  set(${out} "" PARENT_SCOPE)
  if(key_file)
    get_filename_component(key_file "${key_file}" ABSOLUTE)
    if(NOT EXISTS "${key_file}")
      message(FATAL_ERROR "the public key file ${key_file} does not exist")
    endif()
    file(CONFIGURE OUTPUT "${script}" CONTENT "300 RCDATA \"${key_file}\"\n" @ONLY)
    set_source_files_properties("${script}" PROPERTIES OBJECT_DEPENDS "${key_file}")
    set(${out} "${script}" PARENT_SCOPE)
  endif()
endfunction()

if(WIN32)
  tidewell_key_resource(tidewell_key "${TIDEWELL_PUBLIC_KEY_FILE}")
endif()
mw_add_executable(tidewell WIN32 WINDOWS_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tidewell_main.cpp
    ${CMAKE_SOURCE_DIR}/tidewell/resources/tidewell.rc
    ${tidewell_key}
  LIBS tidewell_updater)
