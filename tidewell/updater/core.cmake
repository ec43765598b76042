# Update records, version comparison, command line, user agent, CRC-16 and
# the download names: no platform calls.
mw_add_library(tidewell_core PLATFORM_FREE
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/update_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/version_compare.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/user_agent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crc16.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fetch_names.cpp
    ${CMAKE_CURRENT_LIST_DIR}/info_file_name.cpp
  LIBS common_text)
