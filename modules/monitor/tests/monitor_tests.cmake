# The port monitor's tests and benchmark run in a folder of their own with the 32-bit quilltray.exe
# and the main-application stand-in beside them, and without the spooler stand-in's winspool.drv:
# they play the spooler themselves.
set(monitor_test_dir "${CMAKE_BINARY_DIR}/monitor-tests")
set(monitor_x86_bin "${QUILL_BUILD_ROOT}/x86/bin")
add_library(monitor_test_support STATIC "${CMAKE_SOURCE_DIR}/quilltray/tests/tray_test_support.cpp")
target_link_libraries(monitor_test_support PUBLIC jobpipe gtest)

quill_add_gtest(monitor_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_bounds_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_delivery_test.cpp LIBS monitor_test_support advapi32 SERIAL TIMEOUT 300)
add_executable(monitor_bench ${CMAKE_CURRENT_LIST_DIR}/monitor_bench.cpp)
target_link_libraries(monitor_bench PRIVATE monitor_test_support)
foreach(program monitor_tests monitor_bench)
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${monitor_test_dir}")
  add_dependencies(${program} vtxmon)
  add_custom_command(TARGET ${program} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:vtxmon> "${monitor_x86_bin}/quilltray.exe"
      "${monitor_x86_bin}/mainapp.exe" "${monitor_test_dir}")
endforeach()
