# In-process tests of the message queues, the decoder and the routing: the
# sources are linked with a stand-in board (MsgFakeBoard) instead of the
# register resource manager.
qel_test(stavro_message_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/MsgQueueTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DecodeMessagesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RouteEventTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MsgFakeBoard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../MsgQueue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../DecodeInterruptMessages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../HostMessage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../RouteEvent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../StavroLog.cpp
  LIBS plat_kernel plat_testing plat_win)
