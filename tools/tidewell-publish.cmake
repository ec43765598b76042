# tidewell-publish: packs update archives, writes and shows update records (host and Windows console).
mw_add_library(tidewell_publish PLATFORM_FREE
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/publish_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/publish_show.cpp
  LIBS tidewell_core lzh)

mw_add_executable(tidewell-publish
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tidewell_publish.cpp
    ${CMAKE_CURRENT_LIST_DIR}/publish_pack.cpp
    ${CMAKE_CURRENT_LIST_DIR}/publish_pack_platform.cpp
    ${CMAKE_CURRENT_LIST_DIR}/publish_key_file_platform.cpp
    ${CMAKE_CURRENT_LIST_DIR}/publish_sign.cpp
  LIBS tidewell_publish tidewell_signature lzh_pack)
