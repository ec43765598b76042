# Build helpers shared by every folder of the project.
#
#   mw_add_library(NAME [PLATFORM_FREE] SOURCES ... [LIBS ...] [INCLUDES ...])
#   mw_add_executable(NAME [WIN32] [WINDOWS_ONLY] SOURCES ... [LIBS ...])
#   mw_add_test(NAME SOURCES ... [LIBS ...] [WINDOWS_ONLY] [GUI] [WRAPPER cmd ...]
#               [ENV K=V ...] [ARGS ...] [TIMEOUT s] [ENGLISH_FILTER pattern])
#
# ENGLISH_FILTER adds the test NAME_en: the tests that the GoogleTest pattern
# selects run once more for a user of English Windows (MW_LANGUAGE=en, see
# cmake/wine-run).
#   mw_add_fuzzer(NAME SOURCES ... [LIBS ...] [CORPUS dir ...])
#   mw_add_bench(NAME SOURCES ... [LIBS ...])
#
# Platform-free libraries build everywhere. On the host build they also get a
# twin NAME_san compiled with AddressSanitizer, UndefinedBehaviorSanitizer and
# fuzzer coverage, which tests and fuzz targets link; tools and benchmarks
# link the plain, optimised library.
include_guard(GLOBAL)

if(WIN32)
  set(MW_NATIVE OFF)
  set(MW_PATH_PREFIX "Z:")
else()
  set(MW_NATIVE ON)
  set(MW_PATH_PREFIX "")
endif()

if(MW_NATIVE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(MW_FUZZ ON)
  set(MW_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  set(MW_SANITIZE_COMPILE ${MW_SANITIZE} -fsanitize=fuzzer-no-link)
elseif(MW_NATIVE)
  set(MW_FUZZ OFF)
  set(MW_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  set(MW_SANITIZE_COMPILE ${MW_SANITIZE})
endif()

set(MW_FUZZ_SMOKE_SECONDS 10 CACHE STRING "Seconds each fuzz target runs in the test suite")

# Shared read-only test data; a checkout elsewhere (a git worktree, say) can
# name it with -DMW_TESTDATA_DIR=...
if(NOT MW_TESTDATA_DIR)
  get_filename_component(MW_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" ABSOLUTE)
endif()

# The test environment every test sees (paths in the form the test program
# itself understands: Z:/... under Wine).
set(MW_TEST_ENV
  "MW_SOURCE_DIR=${MW_PATH_PREFIX}${CMAKE_SOURCE_DIR}"
  "MW_BUILD_DIR=${MW_PATH_PREFIX}${CMAKE_BINARY_DIR}"
  "MW_BIN_DIR=${MW_PATH_PREFIX}${CMAKE_BINARY_DIR}/bin")
if(EXISTS "${MW_TESTDATA_DIR}")
  list(APPEND MW_TEST_ENV "MW_TESTDATA=${MW_PATH_PREFIX}${MW_TESTDATA_DIR}")
endif()

# Maps each library to its sanitized twin where one exists (resolved when the
# build is generated, so definition order does not matter).
function(_mw_san_libs out)
  set(result)
  foreach(lib IN LISTS ARGN)
    if(lib MATCHES "^[A-Za-z0-9_]+$" AND MW_NATIVE)
      list(APPEND result "$<IF:$<TARGET_EXISTS:${lib}_san>,${lib}_san,${lib}>")
    else()
      list(APPEND result "${lib}")
    endif()
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(mw_add_library name)
  cmake_parse_arguments(A "PLATFORM_FREE" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
  if(NOT A_PLATFORM_FREE AND NOT WIN32)
    return()
  endif()
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${A_INCLUDES})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  if(A_PLATFORM_FREE AND MW_NATIVE)
    add_library(${name}_san STATIC ${A_SOURCES})
    target_include_directories(${name}_san PUBLIC ${CMAKE_SOURCE_DIR} ${A_INCLUDES})
    target_compile_options(${name}_san PRIVATE ${MW_SANITIZE_COMPILE})
    target_link_options(${name}_san INTERFACE ${MW_SANITIZE})
    _mw_san_libs(san ${A_LIBS})
    target_link_libraries(${name}_san PUBLIC ${san})
  endif()
endfunction()

function(mw_add_executable name)
  cmake_parse_arguments(A "WIN32;WINDOWS_ONLY" "" "SOURCES;LIBS" ${ARGN})
  if(A_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(A_WIN32 AND WIN32)
    add_executable(${name} WIN32 ${A_SOURCES})
  else()
    add_executable(${name} ${A_SOURCES})
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
endfunction()

function(mw_add_test name)
  cmake_parse_arguments(A "WINDOWS_ONLY;GUI" "TIMEOUT;ENGLISH_FILTER" "SOURCES;LIBS;WRAPPER;ENV;ARGS" ${ARGN})
  if(NOT MW_TESTS OR (A_WINDOWS_ONLY AND NOT WIN32))
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  _mw_san_libs(libs ${A_LIBS})
  target_link_libraries(${name} PRIVATE ${libs} GTest::gtest_main)
  if(MW_NATIVE)
    target_compile_options(${name} PRIVATE ${MW_SANITIZE})
    target_link_options(${name} PRIVATE ${MW_SANITIZE})
  endif()

  if(A_WRAPPER)
    set(command ${A_WRAPPER})
    if(WIN32)
      list(APPEND command ${CMAKE_CROSSCOMPILING_EMULATOR})
    endif()
    list(APPEND command $<TARGET_FILE:${name}>)
  else()
    # A target name as the command: CTest puts the emulator in front itself.
    set(command ${name})
  endif()
  add_test(NAME ${name} COMMAND ${command} ${A_ARGS})
  set(names ${name})
  if(A_ENGLISH_FILTER AND WIN32)
    if(NOT A_WRAPPER)
      set(command ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
    endif()
    add_test(NAME ${name}_en COMMAND ${command} ${A_ARGS} --gtest_filter=${A_ENGLISH_FILTER})
    set(english_env ${MW_TEST_ENV} ${A_ENV} MW_LANGUAGE=en)
    set_tests_properties(${name}_en PROPERTIES ENVIRONMENT "${english_env}")
    list(APPEND names ${name}_en)
  endif()

  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 600)
  endif()
  foreach(test IN LISTS names)
    get_test_property(${test} ENVIRONMENT env)
    if(NOT env)
      set(env ${MW_TEST_ENV} ${A_ENV})
    endif()
    if(A_GUI)
      list(APPEND env "MW_GUI=1")
      set_tests_properties(${test} PROPERTIES LABELS gui RUN_SERIAL TRUE)
    endif()
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${A_TIMEOUT})
  endforeach()
endfunction()

function(mw_add_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT MW_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  _mw_san_libs(libs ${A_LIBS})
  target_link_libraries(${name} PRIVATE ${libs})
  target_compile_options(${name} PRIVATE ${MW_SANITIZE} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE ${MW_SANITIZE} -fsanitize=fuzzer)
  if(NOT MW_TESTS)
    return()
  endif()
  # libFuzzer writes new inputs into its first corpus folder: keep that one in
  # the build tree so the seed folders stay untouched.
  set(work "${CMAKE_BINARY_DIR}/fuzz-corpus/${name}")
  file(MAKE_DIRECTORY "${work}")
  set(seeds)
  foreach(dir IN LISTS A_CORPUS)
    if(EXISTS "${dir}")
      list(APPEND seeds "${dir}")
    endif()
  endforeach()
  add_test(NAME ${name}_smoke
           COMMAND ${name} -max_total_time=${MW_FUZZ_SMOKE_SECONDS} -timeout=10
                   -rss_limit_mb=2048 -print_final_stats=1 ${work} ${seeds})
  set_tests_properties(${name}_smoke PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

function(mw_add_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT MW_NATIVE)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -O2)
  target_link_libraries(${name} PRIVATE ${A_LIBS})
endfunction()
