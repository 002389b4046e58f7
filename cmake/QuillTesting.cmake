# GoogleTest: the one a Windows developer has (vcpkg, a package of their own: find_package), built
# for this tree's runtime; else Debian's sources, built with the cross compiler of this tree.
# Tests link the targets gtest and gtest_main either way.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest CONFIG QUIET)
  if(NOT GTest_FOUND)
    find_package(GTest QUIET)
  endif()
endif()
if(GTest_FOUND)
  add_library(gtest INTERFACE)
  target_link_libraries(gtest INTERFACE GTest::gtest)
  add_library(gtest_main INTERFACE)
  target_link_libraries(gtest_main INTERFACE GTest::gtest_main)
elseif(EXISTS /usr/src/googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)  # the tree's runtime, static under MSVC too
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
else()
  message(FATAL_ERROR "GoogleTest not found: install it (vcpkg install gtest, or Debian's googletest) "
    "or point GTest_DIR at its CMake package")
endif()
enable_testing()

# quill_add_gtest(NAME SOURCES ... [LIBS ...] [SERIAL] [NOWINE] [TIMEOUT s])
# One test executable, run under Wine as one ctest test. SERIAL for tests that change machine
# state (registry, services, files under C:\windows): they never run beside another test.
# NOWINE for tests that need neither the test prefix nor its stand-ins: they get the label
# "nowine", which a Windows build runs as it is (ctest -L nowine).
function(quill_add_gtest name)
  cmake_parse_arguments(T "SERIAL;NOWINE" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE gtest gtest_main ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED WinePrefix TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
  if(T_NOWINE)
    set_tests_properties(${name} PROPERTIES LABELS nowine)
  endif()
endfunction()
