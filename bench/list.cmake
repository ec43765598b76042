# A list of 10,000 downloads: reading it into a real list control, one
# scheduling pass, writing it back, and the memory it takes (Windows, run
# under Wine); plus the line format alone (native).
mw_add_executable(list_bench WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/list_bench.cpp
  LIBS marrowby_list psapi)
mw_add_bench(list_format_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/list_format_bench.cpp
  LIBS marrowby_formats)
