# Transfer benchmark programs (Windows, run under Wine by
# bench/transfer_bench.py together with tessaline-get and curl).
#   recv_ceiling: the bare overlapped receive-and-write loop, the ceiling
#                 for one connection on this platform.
#   multi_get:    many DownloadJobs at once in one process.
#   wininet_get:  the plainest WinInet download loop, the peer of the https run.
mw_add_executable(recv_ceiling WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/recv_ceiling.cpp
  LIBS ws2_32)
mw_add_executable(multi_get WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/multi_get.cpp
  LIBS tessaline_net)
mw_add_executable(wininet_get WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wininet_get.cpp
  LIBS wininet)
