# Generates product_version.h from the project version (the file VERSION):
# four numbers 0-255, the form the update records compare. The resource
# scripts and the code include it from the build tree's generated/ folder.
include_guard(GLOBAL)

set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/VERSION)

if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "VERSION must hold four numbers a.b.c.d, not '${PROJECT_VERSION}'")
endif()
foreach(part MAJOR MINOR PATCH TWEAK)
  if(PROJECT_VERSION_${part} GREATER 255)
    message(FATAL_ERROR "VERSION: each number must be 0-255 ('${PROJECT_VERSION}')")
  endif()
endforeach()

# The user agent keeps its historical form: 0.2.3.1 is "Marrowby/0.23".
set(MW_USER_AGENT
    "Marrowby/${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${PROJECT_VERSION_PATCH} ( built on Tessaline )")

set(MW_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/product_version.h.in ${MW_GENERATED_DIR}/product_version.h @ONLY)
include_directories(${MW_GENERATED_DIR})
