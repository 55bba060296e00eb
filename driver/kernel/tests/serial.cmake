# The serial ports through a kernel host: terminals, the camera's end of the
# line, the manager started before or after the driver.
qel_test(stavro_serial_host_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_host_test.cpp ${CMAKE_CURRENT_LIST_DIR}/serial_terminal.cpp
  LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_serial_host_tests Stavro kernel-host)
