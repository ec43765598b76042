# Fuzz targets of the LZH reader and decoders, seeded with the shared
# archives (read where they are, never copied).
set(_mw_lzh_seeds ${MW_TESTDATA_DIR}/lzh)

mw_add_fuzzer(fuzz_lzh_archive
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lzh/fuzz_lzh_archive.cpp
  LIBS lzh
  CORPUS ${_mw_lzh_seeds})

mw_add_fuzzer(fuzz_lzh_decode
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lzh/fuzz_lzh_decode.cpp
  LIBS lzh
  CORPUS ${_mw_lzh_seeds})

mw_add_fuzzer(fuzz_lzh_pack
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lzh/fuzz_lzh_pack.cpp
  LIBS lzh_pack
  CORPUS ${_mw_lzh_seeds})
