# HttpFetch against nginx (serving a record and an archive packed by jlha,
# and a 100 MB file) and the scripted server.
set(mw_update_site
  ${CMAKE_CURRENT_LIST_DIR}/update_site.py --www ${CMAKE_BINARY_DIR}/updater-servers/www --)

mw_add_test(updater_fetch_tests WINDOWS_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_fetch_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/program_support.cpp
  LIBS tidewell_fetch
  WRAPPER python3 ${CMAKE_SOURCE_DIR}/tests/support/servers.py
          --work ${CMAKE_BINARY_DIR}/updater-servers --nginx-file-mb 100 --no-proxy --
          python3 ${mw_update_site}
  TIMEOUT 180)
