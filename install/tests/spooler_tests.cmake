# Spooler service control, component files and spooler enumerations.
set(spooler_fixture_dir ${CMAKE_CURRENT_LIST_DIR}/spooler_fixtures)

# DLLs for the build-number tests: two product versions with the same last component, and one
# without a version resource.
function(spooler_fixture_dll name)
  add_library(${name} SHARED ${spooler_fixture_dir}/fixture_dll.c ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "")
endfunction()
spooler_fixture_dll(fixture_build_7_0_0_2436 ${spooler_fixture_dir}/build_7_0_0_2436.rc)
spooler_fixture_dll(fixture_build_7_0_1_2436 ${spooler_fixture_dir}/build_7_0_1_2436.rc)
spooler_fixture_dll(fixture_no_version)

# Holds a file open so that a copy meets a locked destination.
add_executable(spooler_file_holder ${spooler_fixture_dir}/file_holder.cpp)
target_link_libraries(spooler_file_holder PRIVATE shell32)

# SERIAL: the locked-destination cases time a hundred attempts against the ten-second limit.
quill_add_gtest(install_component_files_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/component_files_test.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
  LIBS install_core SERIAL)
add_dependencies(install_component_files_tests
  fixture_build_7_0_0_2436 fixture_build_7_0_1_2436 fixture_no_version spooler_file_holder)

quill_add_gtest(install_enumerations_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/enumerations_test.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
  LIBS install_core)

# Stops and starts the machine's spooler service.
quill_add_gtest(install_spooler_service_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/spooler_service_test.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
  LIBS install_core SERIAL TIMEOUT 600)

# The same service when it misbehaves, through the spooler stand-in's fault switches.
if(EXISTS "${CMAKE_SOURCE_DIR}/testbed/spooler/control/spooler_testbed.h")
  quill_add_gtest(install_spooler_fault_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/spooler_faults_test.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
    LIBS install_core spooler_testbed SERIAL TIMEOUT 600)
endif()

# Component selection and enumerations against the machine's spooler.
if(EXISTS "${CMAKE_SOURCE_DIR}/testbed/spooler/control/spooler_testbed.h")
  quill_add_gtest(install_spooler_api_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/spooler_api_test.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
    LIBS install_core spooler_testbed SERIAL)
  # With the stand-in's winspool.drv the machine can be emptied and the spooler's calls fail
  # while it is stopped.
  if(EXISTS "${CMAKE_SOURCE_DIR}/testbed/spooler/winspool")
    target_compile_definitions(install_spooler_api_tests PRIVATE QUILL_SPOOLER_STANDIN_WINSPOOL)
  endif()
endif()
