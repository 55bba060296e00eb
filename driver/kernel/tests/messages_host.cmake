# Messages and events through a kernel host and client processes.
add_executable(stavro-helper-messages ${CMAKE_CURRENT_LIST_DIR}/helper_message_client.cpp)
target_link_libraries(stavro-helper-messages PRIVATE plat_win)
qel_test(stavro_message_host_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/stavro_messages_test.cpp
         LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_message_host_tests Stavro kernel-host stavro-helper-messages)
