# Shared build settings and helpers for both builds.

function(orvik_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()

if(NOT WIN32 AND ORVIK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# GoogleTest from the source Debian ships in /usr/src/googletest; it builds with MinGW too.
macro(orvik_add_googletest)
  if(NOT TARGET gtest)
    set(ORVIK_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest source")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${ORVIK_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    include(GoogleTest)
  endif()
endmacro()

# Headers every Windows test includes, compiled once and shared by all of them.
function(orvik_use_test_pch target)
  if(NOT TARGET orvik_test_pch)
    add_library(orvik_test_pch STATIC EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/test_pch.cpp)
    target_link_libraries(orvik_test_pch PRIVATE gtest)
    target_precompile_headers(orvik_test_pch PRIVATE <windows.h> <gtest/gtest.h> <algorithm>
                              <cmath> <cstdint> <cstdio> <functional> <memory> <string> <vector>)
  endif()
  target_precompile_headers(${target} REUSE_FROM orvik_test_pch)
endfunction()

# Discovers the tests of `target` matching `filter` (all when empty) with the given properties.
# Windows tests are listed when CTest starts (PRE_TEST), so the build needs no Wine; each runs in
# one of the suite's lanes (scripts/lanes.sh), and those that play or record through the sound
# server hold it alone.
function(orvik_discover target filter timeout sound)
  set(properties TIMEOUT ${timeout} LABELS "${target}" ${ARGN})
  if(WIN32)
    list(APPEND properties RESOURCE_GROUPS "lanes:1")
    if(sound)
      list(APPEND properties RESOURCE_LOCK orvik_sound_server)
    endif()
  endif()
  if(filter)
    set(filter_args TEST_FILTER "${filter}")
  endif()
  gtest_discover_tests(${target} ${filter_args}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES ${properties}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# A GoogleTest executable. Cross-built ones run under Wine through the emulator.
# orvik_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds a test, 240 unless given]
#            [DPIS dpi ...] [SOUND gtest-filter])
# With DPIS, the tests whose names end in /atN run with ORVIK_DPI=N: under Wine, in a prefix
# whose system DPI is N (cmake/wine-run.sh). With SOUND, the tests the filter names play or
# record through the sound server ("*" for all): no two of them run at once.
function(orvik_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;SOUND" "SOURCES;LIBS;DPIS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  orvik_warnings(${T_NAME})
  if(WIN32)
    orvik_use_test_pch(${T_NAME})
    # GCC 12 warns of bounds and over-reads it invents inside MinGW's inline wmemcpy wherever a
    # test builds a std::wstring from a short literal (L"" and the like). The native clang build keeps the
    # check for the same tests, and AddressSanitizer the real thing.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${T_NAME} PRIVATE -Wno-array-bounds -Wno-stringop-overread)
    endif()
  endif()
  if(T_DPIS)
    foreach(dpi ${T_DPIS})
      orvik_discover(${T_NAME} "*/at${dpi}" ${T_TIMEOUT} "" ENVIRONMENT "ORVIK_DPI=${dpi}")
    endforeach()
  elseif(T_SOUND STREQUAL "*")
    orvik_discover(${T_NAME} "" ${T_TIMEOUT} ON)
  elseif(T_SOUND)
    orvik_discover(${T_NAME} "${T_SOUND}" ${T_TIMEOUT} ON)
    orvik_discover(${T_NAME} "-${T_SOUND}" ${T_TIMEOUT} "")
  else()
    orvik_discover(${T_NAME} "" ${T_TIMEOUT} "")
  endif()
endfunction()
