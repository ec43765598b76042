# Fuzz target of the updater's record reader, comparison, command line and
# download names.
mw_add_fuzzer(fuzz_update_record
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/updater/fuzz_update_record.cpp
  LIBS tidewell_core
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/updater/corpus/fuzz_update_record)

# Fuzz target of the updater's command line on its own.
mw_add_fuzzer(fuzz_updater_command_line
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/updater/fuzz_command_line.cpp
  LIBS tidewell_core
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/updater/corpus/fuzz_updater_command_line)
