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

# A GoogleTest executable. Cross-built ones run under Wine through the emulator.
# orvik_test(NAME name SOURCES ... LIBS ... [GUI] [TIMEOUT seconds a test, 240 unless given]
#            [DPIS dpi ...])
# With DPIS, the tests whose names end in /atN run with ORVIK_DPI=N: under Wine, in a prefix
# whose system DPI is N (cmake/wine-run.sh).
function(orvik_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;DPIS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  orvik_warnings(${T_NAME})
  if(NOT T_DPIS)
    gtest_discover_tests(${T_NAME}
      DISCOVERY_TIMEOUT 120
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_NAME}"
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    return()
  endif()
  foreach(dpi ${T_DPIS})
    gtest_discover_tests(${T_NAME}
      TEST_FILTER "*/at${dpi}"
      DISCOVERY_TIMEOUT 120
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_NAME}" ENVIRONMENT "ORVIK_DPI=${dpi}"
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endforeach()
endfunction()
