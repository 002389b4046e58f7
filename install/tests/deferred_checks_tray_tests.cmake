# Deferred file operations, the check modes and the tray control.
set(control_fixture_dir ${CMAKE_CURRENT_LIST_DIR}/spooler_fixtures)
foreach(build 2415 2416)
  add_library(fixture_driver_${build} SHARED ${control_fixture_dir}/fixture_dll.c ${control_fixture_dir}/driver_build_${build}.rc)
  set_target_properties(fixture_driver_${build} PROPERTIES PREFIX "")
endforeach()

# SERIAL: writes the Session Manager's pending renames.
quill_add_gtest(install_deferred_files_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/deferred_files_test.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
  LIBS install_core SERIAL)

# install.exe as a process on the spooler stand-in, and the real tray program.
if(EXISTS "${CMAKE_SOURCE_DIR}/testbed/spooler/control/spooler_testbed.h")
  quill_add_gtest(install_check_tray_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_modes_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tray_control_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
            ${CMAKE_SOURCE_DIR}/tests/support/install_process.cpp ${CMAKE_SOURCE_DIR}/tests/support/dialog_probe.cpp
            ${CMAKE_SOURCE_DIR}/tests/support/product_state.cpp
    LIBS install_core spooler_testbed SERIAL TIMEOUT 600)
  target_compile_definitions(install_check_tray_tests PRIVATE QUILL_INSTALL_EXE_W=L"$<TARGET_FILE_NAME:install_exe>"
    QUILL_TRAY_EXE="${QUILL_BUILD_ROOT}/x86/bin/quilltray.exe")
  add_dependencies(install_check_tray_tests install_exe winspool_standin fixture_driver_2415 fixture_driver_2416
    fixture_build_7_0_0_2436 fixture_build_7_0_1_2436 fixture_no_version)
endif()
