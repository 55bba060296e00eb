# Many client processes at once, some killed: liveness and clean-up.
add_executable(stavro-helper-stress ${CMAKE_CURRENT_LIST_DIR}/helper_stress_client.cpp)
target_link_libraries(stavro-helper-stress PRIVATE plat_win)
qel_test(stavro_stress_host_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/stavro_stress_test.cpp
         ${CMAKE_CURRENT_LIST_DIR}/stavro_bounds_test.cpp
         LIBS plat_testing plat_board plat_support_log plat_win)
add_dependencies(stavro_stress_host_tests Stavro kernel-host stavro-helper-stress)
