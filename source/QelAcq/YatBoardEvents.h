// The board event table: routing a device's board events (frame start and
// end, ...) to this process, and taking them back. The device interface table
// reaches it through the set-event-mask and unroute operations. Slots 4-6 and
// 12-15 are empty; 7, 8, 9 and 11 answer 0.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

using YatBoardPlainOp = QelStatus (*)();
struct YatBoardEventTable {
  QelStatus (*getPortInfo)(std::uint32_t board, std::uint32_t port, std::uint32_t* out);  // 0: three words
  QelStatus (*unrouteAll)(std::uint32_t board, std::uint32_t port);                       // 1
  QelStatus (*routeEvents)(std::uint32_t board, std::uint32_t device, std::uint32_t mask);   // 2
  QelStatus (*unrouteEvents)(std::uint32_t board, std::uint32_t device, std::uint32_t mask);  // 3
  void* empty4;
  void* empty5;
  void* empty6;
  YatBoardPlainOp none7;
  YatBoardPlainOp none8;
  YatBoardPlainOp none9;
  QelStatus (*getPortCount)(std::uint32_t board, std::uint32_t* count);  // 10
  YatBoardPlainOp none11;
  void* empty12;
  void* empty13;
  void* empty14;
  void* empty15;
};
static_assert(sizeof(YatBoardEventTable) == 16 * 8);

const YatBoardEventTable* YatGetBoardEventTable();

// The connector index (0 or 1) of a device: the lowest of bits 0-1 of its
// record's resource mask; 86 for a slot of 13 or more or a mask without them.
QelStatus YatBoardGetConnector(std::uint32_t board, std::uint32_t device, std::uint32_t* connector);

// The board event thread, counted: the first start creates it (98 when it did
// not signal its start within 5000 ms, 121 when its events or the board's
// message delivery could not be had); it ends after as many stops.
QelStatus StartBoardEventThread(std::uint32_t board);
QelStatus StopBoardEventThread(std::uint32_t board);
// Starts not yet matched by a stop.
std::uint32_t BoardEventThreadStarts();
