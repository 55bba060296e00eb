# The transport's test programs, included by platform/kernel/CMakeLists.txt.
# The client process of the transport tests: a user-mode program over plat_win.
if(NOT TARGET plat-helper-transport)
  add_executable(plat-helper-transport ${CMAKE_CURRENT_LIST_DIR}/helper_transport.cpp)
  target_link_libraries(plat-helper-transport PRIVATE plat_win)
endif()
list(APPEND plat_kernel_helper_targets plat-helper-transport)
