# Build conventions shared by every deliverable: where outputs land, warnings, the
# Windows character set, version resources, GoogleTest suites and OpenSSL.

if(WIN32)
  if(NOT TESSAL_ARCH)
    message(FATAL_ERROR "Windows builds use cmake/toolchains/mingw-*.cmake (presets win32, win64)")
  endif()
else()
  set(TESSAL_ARCH linux)
endif()
set(TESSAL_OUT_DIR ${PROJECT_SOURCE_DIR}/out/${TESSAL_ARCH})
set(TESSAL_STANDIN_DIR ${TESSAL_OUT_DIR}/standins)

# Tests run natively, or under Wine for the 64-bit cross build; the 32-bit build
# only proves that everything compiles and links.
if(NOT WIN32 OR CMAKE_CROSSCOMPILING_EMULATOR)
  set(TESSAL_RUN_TESTS ON)
else()
  set(TESSAL_RUN_TESTS OFF)
endif()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Sources name every header of the tree from its top ("agent/core/policy.h"),
# so a reader sees which module a header belongs to.
include_directories(${PROJECT_SOURCE_DIR})

if(WIN32)
  # 8-bit texts inside the programs are CP949; sources stay UTF-8.
  add_compile_options(-fexec-charset=CP949)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
  # No libstdc++, libgcc or winpthread DLL has to sit beside the programs.
  add_link_options(-static -static-libgcc -static-libstdc++)
elseif(TESSAL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings as errors for the project's own code (not for GoogleTest and friends).
function(tessal_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    # GetProcAddress results are cast to the real function types on purpose.
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-cast-function-type>)
  endif()
endfunction()

# tessal_version_resource(target DESCRIPTION text [VERSION a.b.c.d])
function(tessal_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(V "" "DESCRIPTION;VERSION" "" ${ARGN})
  if(NOT V_VERSION)
    set(V_VERSION ${TESSAL_PRODUCT_VERSION})
  endif()
  string(REPLACE "." ";" parts ${V_VERSION})
  list(GET parts 0 V1)
  list(GET parts 1 V2)
  list(GET parts 2 V3)
  list(GET parts 3 V4)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(FILE_TYPE VFT_DLL)
    set(FILE_SUFFIX .dll)
  else()
    set(FILE_TYPE VFT_APP)
    set(FILE_SUFFIX .exe)
  endif()
  get_target_property(FILE_NAME ${target} OUTPUT_NAME)
  if(NOT FILE_NAME)
    set(FILE_NAME ${target})
  endif()
  set(DESCRIPTION ${V_DESCRIPTION})
  # The package's setup manifest lists each file with this version.
  set_target_properties(${target} PROPERTIES TESSAL_FILE_VERSION ${V_VERSION})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# tessal_deliverable(target DESCRIPTION text [VERSION a.b.c.d])
# Puts a shipped program or library into out/<arch>/ under its own name.
function(tessal_deliverable target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${TESSAL_OUT_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${TESSAL_OUT_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(NOT WIN32)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      set_target_properties(${target} PROPERTIES PREFIX "lib")
    endif()
  endif()
  tessal_warnings(${target})
  tessal_version_resource(${target} ${ARGN})
endfunction()

# tessal_standin(target): a stand-in for an outside program; never shipped.
function(tessal_standin target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${TESSAL_STANDIN_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${TESSAL_STANDIN_DIR})
  tessal_warnings(${target})
endfunction()

# GoogleTest: Debian's packaged build natively, cross-built from its sources for Windows.
if(WIN32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# tessal_gtest(name SOURCES ... [LIBS ...] [LABELS ...] [NO_MAIN])
# One GoogleTest executable; its cases are registered with ctest one by one.
function(tessal_gtest name)
  cmake_parse_arguments(T "NO_MAIN" "" "SOURCES;LIBS;LABELS;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBS})
  endif()
  tessal_warnings(${name})
  if(TESSAL_RUN_TESTS)
    # gtest_discover_tests drops every property after a list-valued one, so a
    # suite has one label; the tree's name is a directory label (top level).
    list(LENGTH T_LABELS n)
    if(n GREATER 1)
      message(FATAL_ERROR "tessal_gtest(${name}): one label only")
    endif()
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 120
      PROPERTIES LABELS "${T_LABELS}" TIMEOUT 120)
    # The locks are set by a file read after the discovered cases: through
    # gtest_discover_tests a list of them would keep only its first, and the cases
    # would run beside those they must not meet.
    if(T_LOCKS)
      set(locks_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_locks.cmake)
      file(WRITE ${locks_file} "if(${name}_TESTS)\n"
        "  set_tests_properties(\${${name}_TESTS} PROPERTIES RESOURCE_LOCK \"${T_LOCKS}\")\n"
        "endif()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${locks_file})
    endif()
  endif()
endfunction()

# OpenSSL: Debian's natively; for mingw the static libraries that
# scripts/build-openssl-mingw.sh keeps in the cache outside the clone.
add_library(tessal_openssl INTERFACE)
if(WIN32)
  if(DEFINED ENV{TESSAL_CACHE})
    set(_cache $ENV{TESSAL_CACHE})
  else()
    set(_cache /var/cache/tessal)
  endif()
  if(TESSAL_ARCH STREQUAL "win64")
    set(_ossl ${_cache}/openssl-mingw/x86_64)
  else()
    set(_ossl ${_cache}/openssl-mingw/i686)
  endif()
  set(TESSAL_OPENSSL_ROOT ${_ossl} CACHE PATH "static OpenSSL for this mingw target")
  if(NOT EXISTS ${TESSAL_OPENSSL_ROOT}/lib/libssl.a)
    message(FATAL_ERROR "No mingw OpenSSL at ${TESSAL_OPENSSL_ROOT}: run scripts/setup.sh")
  endif()
  target_include_directories(tessal_openssl SYSTEM INTERFACE ${TESSAL_OPENSSL_ROOT}/include)
  target_link_libraries(tessal_openssl INTERFACE
    ${TESSAL_OPENSSL_ROOT}/lib/libssl.a ${TESSAL_OPENSSL_ROOT}/lib/libcrypto.a
    ws2_32 crypt32 user32 advapi32 bcrypt)
else()
  find_package(OpenSSL REQUIRED)
  target_link_libraries(tessal_openssl INTERFACE OpenSSL::SSL OpenSSL::Crypto)
endif()

# Adds every subfolder of the current folder that has a CMakeLists.txt, except
# those named in TESSAL_SKIP (as paths from the top, e.g. "standins/updater").
function(tessal_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt AND NOT rel IN_LIST TESSAL_SKIP)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# The responder's certificate files for tests, made once per tree at configure
# time: root.pem, jsxCVsc.cer (the root, DER), locrt and locrk (server, PEM).
set(TESSAL_TEST_CERTS ${CMAKE_BINARY_DIR}/test-certs)
execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/make_test_certs.sh ${TESSAL_TEST_CERTS}
                RESULT_VARIABLE _certs_result)
if(NOT _certs_result EQUAL 0)
  message(FATAL_ERROR "Could not make the test certificates in ${TESSAL_TEST_CERTS}")
endif()
