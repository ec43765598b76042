# Fuzz targets of Tessaline's HTTP message layer.
set(_mw_engine_corpus ${CMAKE_CURRENT_LIST_DIR}/engine/corpus)

mw_add_fuzzer(fuzz_engine_url
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/fuzz_url.cpp
  LIBS tessaline_http
  CORPUS ${_mw_engine_corpus}/fuzz_engine_url)

mw_add_fuzzer(fuzz_engine_response
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/fuzz_response.cpp
  LIBS tessaline_http
  CORPUS ${_mw_engine_corpus}/fuzz_engine_response)

mw_add_fuzzer(fuzz_engine_http_date
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/fuzz_http_date.cpp
  LIBS tessaline_http
  CORPUS ${_mw_engine_corpus}/fuzz_engine_http_date)

mw_add_fuzzer(fuzz_engine_safe_file_name
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/fuzz_safe_file_name.cpp
  LIBS common_text
  CORPUS ${_mw_engine_corpus}/fuzz_engine_safe_file_name)
