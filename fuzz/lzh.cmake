# Fuzz targets of the LZH reader and decoders, seeded with the shared
# archives (read where they are, never copied) and with our own seeds of
# what those lack: -lh6-/-lh7- data, level-3 and OS-9 level-2 headers.
set(_mw_lzh_seeds ${MW_TESTDATA_DIR}/lzh)
set(_mw_lzh_corpus ${CMAKE_CURRENT_LIST_DIR}/lzh/corpus)

mw_add_fuzzer(fuzz_lzh_archive
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lzh/fuzz_lzh_archive.cpp
  LIBS lzh
  CORPUS ${_mw_lzh_seeds} ${_mw_lzh_corpus}/fuzz_lzh_archive)

mw_add_fuzzer(fuzz_lzh_decode
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lzh/fuzz_lzh_decode.cpp
  LIBS lzh
  CORPUS ${_mw_lzh_seeds} ${_mw_lzh_corpus}/fuzz_lzh_decode)

mw_add_fuzzer(fuzz_lzh_pack
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lzh/fuzz_lzh_pack.cpp
  LIBS lzh_pack
  CORPUS ${_mw_lzh_seeds})
