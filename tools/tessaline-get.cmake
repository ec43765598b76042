# Console downloader for tests and benchmarks: one DownloadJob, one line per
# callback.
mw_add_executable(tessaline-get WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tessaline_get.cpp
  LIBS tessaline_net)
