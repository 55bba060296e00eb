# The I2C master and the EEPROM start-up: in-process against the board model,
# and section 4 through a kernel host.
qel_test(stavro_i2c_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/i2c_driver_test.cpp ${CMAKE_CURRENT_LIST_DIR}/stavro_fixture.cpp
          $<TARGET_OBJECTS:stavro_objects>
  LIBS plat_kernel plat_testing)

qel_test(stavro_i2c_host_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/i2c_host_test.cpp
  LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_i2c_host_tests Stavro kernel-host)
