# The configuration module's tests: its answers without pages, and its pages hosted by a stand-in
# for the common property-sheet host (sheet_host). They run beside vtxui64.dll in the tree's bin
# folder; the pages need windows, which the test prefix's null graphics driver provides.
add_library(sheet_host STATIC ${CMAKE_CURRENT_LIST_DIR}/sheet_host.cpp)
target_include_directories(sheet_host PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(sheet_host PUBLIC comctl32 user32)

quill_add_gtest(driver_ui_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/driver_ui_settings_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_ui_pages_test.cpp
  LIBS sheet_host job_settings monitor_test_support advapi32 TIMEOUT 120)
add_dependencies(driver_ui_tests vtxui)

# Shows one page of the module until it is closed or a time is up: the screenshots of the pages
# (testbed/ui-screenshots.sh) are taken of it.
add_executable(show_driver_page WIN32 ${CMAKE_CURRENT_LIST_DIR}/show_driver_page.cpp)
target_link_libraries(show_driver_page PRIVATE sheet_host job_settings shell32)
if(MINGW)
  target_link_options(show_driver_page PRIVATE -municode)  # wWinMain
endif()
add_dependencies(show_driver_page vtxui vtxhelp)
