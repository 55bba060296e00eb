# Section 6 and the reload from flash through a kernel host.
qel_test(stavro_flash_host_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/flash_host_test.cpp
  LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_flash_host_tests Stavro kernel-host)
