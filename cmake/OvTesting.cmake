# Test plumbing shared by every tier: GoogleTest natively from Debian's package, built from
# source for MinGW; under the Wine preset every test program runs through wine64 in a
# throwaway prefix that a ctest fixture creates and removes.

set(OV_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Throwaway Wine prefix for the test run")
option(OV_RUN_UNDER_WINE "Run Windows test programs under wine64" OFF)
set(OV_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "wine64 binary")

if(OV_WIN32 AND OV_RUN_UNDER_WINE)
  # The prefix is named per build tree, so a developer's ~/.wine is never touched.
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEPREFIX=${OV_WINEPREFIX} WINEDEBUG=-all
      WINEDLLOVERRIDES=winemenubuilder.exe=d ${OV_WINE64})
endif()

if(OV_BUILD_TESTS)
  if(OV_WIN32)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_library(ov_gtest_main INTERFACE)
    target_link_libraries(ov_gtest_main INTERFACE gtest_main gtest)
  else()
    find_package(GTest REQUIRED)
    add_library(ov_gtest_main INTERFACE)
    target_link_libraries(ov_gtest_main INTERFACE GTest::gtest_main GTest::gtest)
  endif()
endif()

# ov_add_test(<name> SOURCES ... [LIBS ...] [NATIVE_ONLY] [WIN32_ONLY] [TIMEOUT s])
# One test program becomes one ctest test; under Wine all tests share the prefix fixture
# and take the prefix lock, because they change the same registry and service database.
function(ov_add_test name)
  cmake_parse_arguments(T "NATIVE_ONLY;WIN32_ONLY" "TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  if(T_NATIVE_ONLY AND OV_WIN32)
    return()
  endif()
  if(T_WIN32_ONLY AND NOT OV_WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ov_gtest_main ov_options)
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(OV_WIN32 AND OV_RUN_UNDER_WINE)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine_prefix
                         ENVIRONMENT "WINEPREFIX=${OV_WINEPREFIX}")
  endif()
endfunction()

if(OV_BUILD_TESTS AND OV_WIN32 AND OV_RUN_UNDER_WINE)
  add_test(NAME wine_prefix_setup COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix.sh create ${OV_WINEPREFIX})
  add_test(NAME wine_prefix_cleanup COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix.sh destroy ${OV_WINEPREFIX})
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 600)
  set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
endif()
