# Command line, context set-up and release, the log dialog. SERIAL: set-up checks the spooler
# service, and the help-window tests put windows where any installer run would find them.
quill_add_gtest(install_control_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/context_setup_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/log_dialog_test.cpp
          ${CMAKE_SOURCE_DIR}/tests/support/dialog_probe.cpp
  LIBS install_core
  SERIAL)
target_compile_definitions(install_control_tests PRIVATE QUILL_INSTALL_EXE_W=L"$<TARGET_FILE_NAME:install_exe>")
add_dependencies(install_control_tests install_exe)
