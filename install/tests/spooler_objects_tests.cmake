# The installer's spooler objects: printers and their preservation, the port monitor, the printer
# driver. They run on the spooler stand-in, with monitor files of several builds that serve the
# product's port.
if(EXISTS "${CMAKE_SOURCE_DIR}/testbed/spooler/control/spooler_testbed.h")
  set(monitor_fixture_builds 2415 2416 2436 2437)
  set(monitor_fixtures fixture_monitor_none)
  add_library(fixture_monitor_none SHARED ${CMAKE_SOURCE_DIR}/testbed/spooler/testmonitor/test_monitor.cpp)
  foreach(build ${monitor_fixture_builds})
    add_library(fixture_monitor_${build} SHARED ${CMAKE_SOURCE_DIR}/testbed/spooler/testmonitor/test_monitor.cpp
      ${CMAKE_CURRENT_LIST_DIR}/spooler_fixtures/build_7_0_0_${build}.rc)
    list(APPEND monitor_fixtures fixture_monitor_${build})
  endforeach()
  foreach(fixture ${monitor_fixtures})
    set_target_properties(${fixture} PROPERTIES PREFIX "")
    target_compile_definitions(${fixture} PRIVATE QUILLTESTMON_PORT=L\"Quillstack:\")
  endforeach()

  quill_add_gtest(install_spooler_objects_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/printers_test.cpp ${CMAKE_CURRENT_LIST_DIR}/monitor_driver_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/spooler_objects_support.cpp ${CMAKE_CURRENT_LIST_DIR}/spooler_test_support.cpp
    LIBS install_core spooler_testbed SERIAL TIMEOUT 900)
  add_dependencies(install_spooler_objects_tests ${monitor_fixtures} fixture_build_7_0_0_2436 fixture_no_version)
endif()
