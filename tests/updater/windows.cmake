# HttpFetch against nginx (serving a record and an archive packed by jlha,
# and a 100 MB file) and the scripted server.
mw_add_test(updater_fetch_tests WINDOWS_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_fetch_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/program_support.cpp
  LIBS tidewell_fetch
  WRAPPER python3 ${CMAKE_SOURCE_DIR}/tests/support/servers.py
          --work ${CMAKE_BINARY_DIR}/updater-servers --nginx-file-mb 100 --no-proxy --
          python3 ${CMAKE_CURRENT_LIST_DIR}/update_site.py --www ${CMAKE_BINARY_DIR}/updater-servers/www --
  TIMEOUT 180)

# The window and its resources in the test process.
mw_add_test(updater_window_tests WINDOWS_ONLY GUI
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/update_window_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/program_support.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/ui_support.cpp
    ${CMAKE_SOURCE_DIR}/tidewell/resources/tidewell.rc
  LIBS tidewell_updater
  TIMEOUT 60)

# tidewell.exe driven from outside against nginx (also over TLS with the
# run's own certificates) and the scripted server, and the whole update from
# marrowby.exe's menu to the restarted program; writes
# build/screenshots/tidewell-*.png. Its English run (tidewell-*-en.png) takes
# the English test alone.
mw_add_test(updater_program_tests WINDOWS_ONLY GUI
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/program_support.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/png_file.cpp
  LIBS gdi32 user32 comctl32
  WRAPPER python3 ${CMAKE_SOURCE_DIR}/tests/support/servers.py
          --work ${CMAKE_BINARY_DIR}/updater-program-servers --nginx-file-mb 1 --no-proxy
          --tls-helper $<TARGET_FILE:trust_test_root> --
          python3 ${CMAKE_CURRENT_LIST_DIR}/update_site.py
          --www ${CMAKE_BINARY_DIR}/updater-program-servers/www --bin ${CMAKE_BINARY_DIR}/bin --
  TIMEOUT 240
  ENGLISH_FILTER TidewellProgram.English*)
if(TARGET updater_program_tests)
  # tidewell.exe with the test publisher's key built in, for the signed updates.
  tidewell_key_resource(tidewell_test_key "${CMAKE_CURRENT_LIST_DIR}/test-publisher.pub")
  mw_add_executable(tidewell-keyed WIN32 WINDOWS_ONLY
    SOURCES
      ${CMAKE_SOURCE_DIR}/tidewell/updater/tidewell_main.cpp
      ${CMAKE_SOURCE_DIR}/tidewell/resources/tidewell.rc
      ${tidewell_test_key}
    LIBS tidewell_updater)
  add_dependencies(updater_program_tests tidewell tidewell-keyed tidewell-publish marrowby trust_test_root)
endif()

# The extraction into an install folder, on archives packed by jlha at run
# time, the shared archives and archives made by the test.
mw_add_test(updater_apply_tests WINDOWS_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/apply_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/lzh/lzh_test_support.cpp
  LIBS tidewell_updater
  WRAPPER python3 ${CMAKE_CURRENT_LIST_DIR}/update_site.py --apply ${CMAKE_BINARY_DIR}/apply-archives --
  TIMEOUT 120)
