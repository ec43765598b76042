mw_add_test(updater_core_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/record_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/compare_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fetch_text_test.cpp
  LIBS tidewell_core
  TIMEOUT 60)

mw_add_test(updater_publish_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/publish_test.cpp
  LIBS tidewell_core
  TIMEOUT 120)
if(TARGET updater_publish_tests AND TARGET tidewell-publish)
  add_dependencies(updater_publish_tests tidewell-publish)  # the tests run it
endif()

# Publisher signatures: libcrypto on the host, CNG under Wine.
mw_add_test(updater_signature_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/signature_test.cpp
  LIBS tidewell_signature tidewell_core
  TIMEOUT 180)
if(TARGET updater_signature_tests AND TARGET tidewell-publish)
  add_dependencies(updater_signature_tests tidewell-publish)  # the tests run it
endif()
