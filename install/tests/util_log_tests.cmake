quill_add_gtest(install_util_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/wide_buffer_test.cpp ${CMAKE_CURRENT_LIST_DIR}/string_list_test.cpp LIBS install_core)
quill_add_gtest(install_log_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/install_log_test.cpp LIBS install_core)
