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
    add_library(ov_gtest INTERFACE)
    target_link_libraries(ov_gtest INTERFACE gtest)
    add_library(ov_gtest_main INTERFACE)
    target_link_libraries(ov_gtest_main INTERFACE gtest_main gtest)
  else()
    find_package(GTest REQUIRED)
    add_library(ov_gtest INTERFACE)
    target_link_libraries(ov_gtest INTERFACE GTest::gtest)
    add_library(ov_gtest_main INTERFACE)
    target_link_libraries(ov_gtest_main INTERFACE GTest::gtest_main GTest::gtest)
  endif()
endif()

# ov_add_test(<name> SOURCES ... | COMMAND ...  [LIBS ...] [ARGS ...] [DEFINES ...] [DEPENDS ...]
#             [INCLUDES ...] [NATIVE_ONLY | WIN32_ONLY | WINE_ONLY] [OWN_MAIN] [TIMEOUT s]
#             [SETS_UP fixture] [NEEDS fixture])
# One test program (or, with COMMAND, one script run on the build host) becomes one ctest
# test. OWN_MAIN: the program brings its own main(). SETS_UP/NEEDS: a later test judges what
# this one left, e.g. an archive checked by the host's readers. Under Wine every test shares
# the prefix fixture and takes the prefix lock, because they change the same registry and
# service database.
function(ov_add_test name)
  cmake_parse_arguments(T "NATIVE_ONLY;WIN32_ONLY;WINE_ONLY;OWN_MAIN" "TIMEOUT;SETS_UP;NEEDS"
                        "SOURCES;COMMAND;LIBS;ARGS;DEFINES;DEPENDS;INCLUDES" ${ARGN})
  set(under_wine OFF)
  if(OV_WIN32 AND OV_RUN_UNDER_WINE)
    set(under_wine ON)
  endif()
  if((T_NATIVE_ONLY AND OV_WIN32) OR (T_WIN32_ONLY AND NOT OV_WIN32) OR (T_WINE_ONLY AND NOT under_wine))
    return()
  endif()
  if(T_COMMAND)
    add_test(NAME ${name} COMMAND ${T_COMMAND} ${T_ARGS})
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} ov_options)
    if(T_OWN_MAIN)
      target_link_libraries(${name} PRIVATE ov_gtest)
    else()
      target_link_libraries(${name} PRIVATE ov_gtest_main)
    endif()
    target_compile_definitions(${name} PRIVATE ${T_DEFINES}
                               OV_CHECK_ARCHIVE="${CMAKE_SOURCE_DIR}/tests/support/check_archive.py")
    target_include_directories(${name} PRIVATE ${T_INCLUDES})
    if(T_DEPENDS)
      add_dependencies(${name} ${T_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_SETS_UP)
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_SETUP ${T_SETS_UP})
  endif()
  if(T_NEEDS)
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED ${T_NEEDS})
  endif()
  if(under_wine)
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_prefix ENVIRONMENT "WINEPREFIX=${OV_WINEPREFIX}")
  endif()
endfunction()

if(OV_BUILD_TESTS AND OV_WIN32 AND OV_RUN_UNDER_WINE)
  add_test(NAME wine_prefix_setup COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix.sh create ${OV_WINEPREFIX})
  add_test(NAME wine_prefix_cleanup COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix.sh destroy ${OV_WINEPREFIX})
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 600)
  set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
endif()
