# The port monitor's tests and benchmark run in a folder of their own with the 32-bit quilltray.exe,
# the main-application stand-in, the driver files and the spooler stand-in's winspool.drv beside
# them: most of them play the spooler themselves, one prints through the stand-in.
set(monitor_test_dir "${CMAKE_BINARY_DIR}/monitor-tests")
set(monitor_x86_bin "${QUILL_BUILD_ROOT}/x86/bin")
add_library(monitor_test_support STATIC "${CMAKE_SOURCE_DIR}/quilltray/tests/tray_test_support.cpp"
  "${CMAKE_SOURCE_DIR}/quilltray/tests/fake_shell_tray.cpp")
target_link_libraries(monitor_test_support PUBLIC jobpipe gtest)

quill_add_gtest(monitor_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_bounds_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_delivery_test.cpp ${CMAKE_CURRENT_LIST_DIR}/monitor_spooler_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_ui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/owner_session_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_attack_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../owner_session.cpp
  LIBS monitor_test_support spooler_testbed winspool advapi32 version SERIAL TIMEOUT 400)
# The attacker that takes pipe names first, a process of its own.
add_executable(pipe_squatter "${CMAKE_SOURCE_DIR}/quilltray/tests/pipe_squatter.cpp")
target_include_directories(pipe_squatter PRIVATE "${CMAKE_SOURCE_DIR}")
if(MINGW)
  target_link_options(pipe_squatter PRIVATE -municode)  # wmain
endif()
set_target_properties(pipe_squatter PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${monitor_test_dir}")
add_dependencies(monitor_tests vtxdrv vtxui vtxhelp quillspoolsvc winspool_standin pipe_squatter)
add_custom_command(TARGET monitor_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:vtxdrv> $<TARGET_FILE:vtxui>
    "${CMAKE_BINARY_DIR}/bin/vtxhelp.chm" $<TARGET_FILE:winspool_standin> "${monitor_test_dir}")
add_executable(monitor_bench ${CMAKE_CURRENT_LIST_DIR}/monitor_bench.cpp)
target_link_libraries(monitor_bench PRIVATE monitor_test_support)
foreach(program monitor_tests monitor_bench)
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${monitor_test_dir}")
  add_dependencies(${program} vtxmon)
  add_custom_command(TARGET ${program} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:vtxmon> "${monitor_x86_bin}/quilltray.exe"
      "${monitor_x86_bin}/mainapp.exe" "${monitor_test_dir}")
endforeach()
