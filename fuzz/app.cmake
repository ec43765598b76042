# Fuzz targets of Marrowby's stored formats: list files, URL lists to
# import and the settings file.
set(_mw_app_corpus ${CMAKE_CURRENT_LIST_DIR}/app/corpus)

mw_add_fuzzer(fuzz_list_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/fuzz_list_file.cpp
  LIBS marrowby_formats
  CORPUS ${_mw_app_corpus}/fuzz_list_file)

mw_add_fuzzer(fuzz_url_list
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/fuzz_url_list.cpp
  LIBS marrowby_formats
  CORPUS ${_mw_app_corpus}/fuzz_url_list)

mw_add_fuzzer(fuzz_settings_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/fuzz_settings_file.cpp
  LIBS marrowby_formats
  CORPUS ${_mw_app_corpus}/fuzz_settings_file)
