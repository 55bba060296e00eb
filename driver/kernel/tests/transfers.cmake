# Transfers through a kernel host, the test process and a helper as clients.
add_executable(stavro-helper-transfers ${CMAKE_CURRENT_LIST_DIR}/helper_transfer_client.cpp)
target_link_libraries(stavro-helper-transfers PRIVATE plat_win)
qel_test(stavro_transfer_host_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/stavro_transfers_test.cpp
         ${CMAKE_CURRENT_LIST_DIR}/stavro_chain_rules_test.cpp
         LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_transfer_host_tests Stavro kernel-host stavro-helper-transfers)
