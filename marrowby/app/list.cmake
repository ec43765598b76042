# Settings record, list-file lines (platform-free) and the download list with
# its scheduler, list files and settings file (Windows).
mw_add_library(marrowby_formats PLATFORM_FREE
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/settings_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/checksum_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/failure_reason.cpp
    ${CMAKE_CURRENT_LIST_DIR}/transfer_rate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handover_payload.cpp
    ${CMAKE_CURRENT_LIST_DIR}/address_scan.cpp
  LIBS tessaline_http)

mw_add_library(marrowby_list
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/settings_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scheduler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_messages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_rows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/folder_presence.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_import.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_checksum.cpp
  LIBS marrowby_formats tessaline_net tessaline_http common_files comctl32 bcrypt)
