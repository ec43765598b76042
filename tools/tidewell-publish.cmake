# tidewell-publish: writes and shows update records (host and Windows console).
mw_add_library(tidewell_publish PLATFORM_FREE
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/publish_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/publish_show.cpp
  LIBS tidewell_core)

mw_add_executable(tidewell-publish
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tidewell_publish.cpp
  LIBS tidewell_publish)
