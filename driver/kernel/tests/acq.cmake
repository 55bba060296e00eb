# Acquisition channels through a kernel host, the test process and helper clients.
add_executable(stavro-helper-acq ${CMAKE_CURRENT_LIST_DIR}/helper_acq_client.cpp)
target_link_libraries(stavro-helper-acq PRIVATE plat_win)
qel_test(stavro_acq_host_tests
         SOURCES ${CMAKE_CURRENT_LIST_DIR}/acq_ownership_test.cpp ${CMAKE_CURRENT_LIST_DIR}/acq_pixel_clock_test.cpp
         LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_acq_host_tests Stavro kernel-host stavro-helper-acq)
# The channel ticks and the transfer reset, in-process.
qel_test(stavro_acq_kernel_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/acq_channel_kernel_test.cpp ${CMAKE_CURRENT_LIST_DIR}/stavro_fixture.cpp
          $<TARGET_OBJECTS:stavro_objects>
  LIBS plat_kernel plat_testing)
