# Tests of the spooler stand-in. They change the machine's spooler state: all SERIAL.
set(spooler_test_dir ${CMAKE_CURRENT_LIST_DIR})
set(spooler_stage_deps quillspoolsvc winspool_standin quilltestmon quillnotmon)

quill_add_gtest(spooler_service_tests SOURCES ${spooler_test_dir}/service_control_test.cpp
  LIBS spooler_testbed SERIAL TIMEOUT 300)
add_dependencies(spooler_service_tests quillspoolsvc)

set(spooler_shared_cases ${spooler_test_dir}/monitor_conformance_test.cpp ${spooler_test_dir}/shared_conformance_test.cpp)
set(spooler_support ${spooler_test_dir}/spooler_test_support.cpp)

# The conformance suite against the stand-in: it lies in bin/, beside the stand-in's winspool.drv.
quill_add_gtest(spooler_conformance_tests SOURCES ${spooler_shared_cases} ${spooler_support}
  ${spooler_test_dir}/driver_conformance_test.cpp ${spooler_test_dir}/printer_conformance_test.cpp
  ${spooler_test_dir}/job_conformance_test.cpp ${spooler_test_dir}/acceptance_test.cpp
  LIBS spooler_testbed winspool SERIAL TIMEOUT 600)
target_compile_definitions(spooler_conformance_tests PRIVATE QUILL_X64_BIN="${CMAKE_BINARY_DIR}/bin")
add_dependencies(spooler_conformance_tests ${spooler_stage_deps})

# The cases where Wine's spooler is right, against Wine's own winspool: this program lies in a
# folder of its own, without the stand-in beside it.
quill_add_gtest(spooler_wine_conformance_tests SOURCES ${spooler_shared_cases} ${spooler_support}
  LIBS spooler_testbed winspool SERIAL TIMEOUT 300)
target_compile_definitions(spooler_wine_conformance_tests PRIVATE QUILL_AGAINST_WINE QUILL_X64_BIN="${CMAKE_BINARY_DIR}/bin")
set_target_properties(spooler_wine_conformance_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/wine-winspool")
add_dependencies(spooler_wine_conformance_tests ${spooler_stage_deps})
