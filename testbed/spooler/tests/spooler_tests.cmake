# Tests of the spooler stand-in. They change the machine's spooler state: all SERIAL.
quill_add_gtest(spooler_service_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/service_control_test.cpp
  LIBS spooler_testbed SERIAL TIMEOUT 300)
add_dependencies(spooler_service_tests quillspoolsvc)
