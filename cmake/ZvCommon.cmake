# Flags, GoogleTest and the test registration shared by every folder of both trees.

# Warnings are errors in our own targets only; GoogleTest is built with its own flags.
function(zv_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(ZV_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

if(ZV_WIN32)
  # One Wine prefix per build tree, made once by the wine_prefix fixture before any test.
  set(ZV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(ZV_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZV_WINE_RUN})

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(ZV_GTEST_LIBS gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(ZV_GTEST_LIBS GTest::gtest GTest::gtest_main)
endif()

# zv_add_gtest(NAME SOURCES a.cpp b.cpp LIBS x y)
# One executable, one CTest test: under Wine that is one start per executable rather
# than one per test case. Win32 tests depend on the wine_prefix fixture.
function(zv_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  zv_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${ZV_GTEST_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name})
  zv_test_environment(${name} ${ARG_ENV})
endfunction()

# zv_test_environment(TEST [VAR=value ...]): the environment every test gets.
function(zv_test_environment test)
  set(env ZV_SOURCE_DIR=${CMAKE_SOURCE_DIR} ZV_BINARY_DIR=${CMAKE_BINARY_DIR} ${ARGN})
  if(ZV_WIN32)
    list(APPEND env WINEPREFIX=${ZV_WINEPREFIX})
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  endif()
  set_tests_properties(${test} PROPERTIES ENVIRONMENT "${env}")
endfunction()

if(ZV_WIN32)
  add_test(NAME wine_prefix_start COMMAND ${ZV_WINE_RUN} --start)
  add_test(NAME wine_prefix_stop COMMAND ${ZV_WINE_RUN} --stop)
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix
    ENVIRONMENT "WINEPREFIX=${ZV_WINEPREFIX}")
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix
    ENVIRONMENT "WINEPREFIX=${ZV_WINEPREFIX}")
endif()
