# Update records, version comparison, command line, user agent, CRC-16 and
# the download names: no platform calls.
mw_add_library(tidewell_core PLATFORM_FREE
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/update_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/version_compare.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/user_agent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crc16.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fetch_names.cpp
    ${CMAKE_CURRENT_LIST_DIR}/info_file_name.cpp
    ${CMAKE_CURRENT_LIST_DIR}/signature_block.cpp
    ${CMAKE_CURRENT_LIST_DIR}/key_file.cpp
  LIBS common_text)

# Publisher signatures: the judging is platform-free, the arithmetic comes
# from the system's CNG on Windows and from OpenSSL's libcrypto on the host.
if(WIN32)
  add_library(tidewell_signing_backend STATIC ${CMAKE_CURRENT_LIST_DIR}/signing_cng.cpp)
  target_link_libraries(tidewell_signing_backend PUBLIC bcrypt)
else()
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  add_library(tidewell_signing_backend STATIC ${CMAKE_CURRENT_LIST_DIR}/signing_openssl.cpp)
  target_link_libraries(tidewell_signing_backend PUBLIC OpenSSL::Crypto)
endif()
target_include_directories(tidewell_signing_backend PUBLIC ${CMAKE_SOURCE_DIR})
mw_add_library(tidewell_signature PLATFORM_FREE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/record_signature.cpp
  LIBS tidewell_core tidewell_signing_backend)
