# The road of a print job on a product installed by its own installer. The test runs in a folder of
# its own with everything a staged product holds beside it (it stages the product from there), the
# main-application stand-in and the spooler stand-in's winspool.drv.
set(print_road_dir "${CMAKE_BINARY_DIR}/print-road")
quill_add_gtest(print_road_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_road_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/dialog_probe.cpp ${CMAKE_CURRENT_LIST_DIR}/support/product_state.cpp
  LIBS monitor_test_support spooler_testbed winspool advapi32 SERIAL TIMEOUT 600)
target_include_directories(print_road_tests PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
set_target_properties(print_road_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${print_road_dir}")
add_dependencies(print_road_tests install_exe vtxmon vtxdrv vtxui vtxhelp quillspoolsvc winspool_standin gdiplay)
add_custom_command(TARGET print_road_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:install_exe> $<TARGET_FILE:vtxmon>
    $<TARGET_FILE:vtxdrv> $<TARGET_FILE:vtxui> $<TARGET_FILE:gdiplay> "${CMAKE_BINARY_DIR}/bin/vtxhelp.chm" $<TARGET_FILE:winspool_standin>
    "${QUILL_BUILD_ROOT}/x86/bin/quilltray.exe" "${QUILL_BUILD_ROOT}/x86/bin/mainapp.exe" "${print_road_dir}")
