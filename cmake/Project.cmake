# Shared build settings: warnings as errors on every target of ours, optional sanitizers.

set(KVX_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined or thread")

function(kvx_target_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  if(KVX_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${KVX_SANITIZE} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${KVX_SANITIZE})
  endif()
endfunction()

# Removes from the list `sources_var` the files of the other system: a file that uses one
# system's services is named for it (*_posix.cpp, *_win32.cpp) and has a twin of the same name
# for the other.
function(kvx_drop_other_system_sources sources_var)
  set(sources ${${sources_var}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${sources_var} ${sources} PARENT_SCOPE)
endfunction()

# One static library per folder under src/, headers included as "folder/header.h" from src/: every
# .cpp in the folder but those of the other system.
function(kvx_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  kvx_drop_other_system_sources(sources)
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  kvx_target_settings(${name})
endfunction()

# Registers a test program's tests with ctest, each under one label, so a developer can pick
# them with `ctest -L`:
#   unit       in-process, on fakes and the manual clock: nothing waits for time to pass
#   realtime   waits on real time: a real pseudo-terminal, or the Qt window with a running engine
#   e2e        upgrades kvx-sim running as a separate program; the install into a prefix
#   draw-only  draws windows into pictures for a person to look at; checks only that they drew
# Tests take LABEL, or the label of the GROUPS entry whose gtest filter they match
# (GROUPS realtime "CComOverPty.*" draw-only "ScreenshotTest.*"); groups must not overlap.
# PROPERTIES are further properties for every test.
function(kvx_discover_tests target)
  cmake_parse_arguments(ARG "" "LABEL" "GROUPS;PROPERTIES" ${ARGN})
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "kvx_discover_tests(${target}): every test needs a LABEL")
  endif()
  set(common DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
  set(groups ${ARG_GROUPS})
  set(grouped "")
  while(groups)
    list(POP_FRONT groups group_label group_filter)
    gtest_discover_tests(${target} TEST_FILTER "${group_filter}" ${common} LABELS ${group_label})
    list(APPEND grouped ${group_filter})
  endwhile()
  set(rest "")
  if(grouped)
    list(JOIN grouped ":" grouped_filter)
    set(rest TEST_FILTER "-${grouped_filter}")
  endif()
  gtest_discover_tests(${target} ${rest} ${common} LABELS ${ARG_LABEL})
endfunction()

# One test program per folder under tests/: every .cpp in the folder. LABEL and GROUPS as for
# kvx_discover_tests.
function(kvx_add_test_suite name)
  cmake_parse_arguments(ARG "" "LABEL" "DEPS;GROUPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  kvx_target_settings(${name})
  kvx_discover_tests(${name} LABEL ${ARG_LABEL} GROUPS ${ARG_GROUPS})
endfunction()

# Qt wants a private runtime folder ($XDG_RUNTIME_DIR) and, without one, makes /tmp/runtime-$USER
# and leaves it there. What runs Qt during the build and the tests gets this one instead.
set(KVX_QT_RUNTIME_DIR ${CMAKE_BINARY_DIR}/qt-runtime)
file(MAKE_DIRECTORY ${KVX_QT_RUNTIME_DIR})
file(CHMOD ${KVX_QT_RUNTIME_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
