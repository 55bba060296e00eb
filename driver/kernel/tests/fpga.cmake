# Section 3 (registers, FPGA configuration, on-board memory) through a kernel host.
qel_test(stavro_fpga_host_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/fpga_host_test.cpp
  LIBS qel_mkfirmware plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_fpga_host_tests Stavro kernel-host)
