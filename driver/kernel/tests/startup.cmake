# Unit tests of the driver's block lists and range manager: the sources are
# linked into the test program, in-process, without a kernel host.
qel_test(stavro_memory_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/BlockListTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MemManagerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../BlockList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../MemManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../StavroLog.cpp
  LIBS plat_kernel plat_testing plat_win)
