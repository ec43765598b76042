# SHA-256 through CNG under Wine, for bench/hash_throughput.sh.
mw_add_executable(hash_bench WINDOWS_ONLY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hash_bench.cpp
  LIBS tidewell_updater)
