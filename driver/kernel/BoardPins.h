// Pins on a board: every request that uses a board (and a process's close
// while it releases what it left on a board) holds a pin on it, and the
// board's removal waits until none is held before it tears the board down.
// Pins are counted under the manager's board-table spin lock together with
// the board's place in the table, so that no pin is taken once the removal
// began.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

// Pins a board that is still in the manager's table; false when it is
// leaving (or was never there).
bool YatPinBoard(YatManagerExtension* manager, YatBoardExtension* board);
// Pins the board in slot `index`; null when none is there.
YatBoardExtension* YatPinBoardAt(YatManagerExtension* manager, std::uint32_t index);
void YatUnpinBoard(YatBoardExtension* board);

// A pin held for the rest of the current device-control request: released by
// the request's scope (Dispatch) when the handler returns. Outside a request
// scope nothing is pinned and the answer is true.
bool YatPinForRequest(YatManagerExtension* manager, YatBoardExtension* board);

class YatRequestScope {
 public:
  YatRequestScope();
  ~YatRequestScope();
  YatRequestScope(const YatRequestScope&) = delete;
  YatRequestScope& operator=(const YatRequestScope&) = delete;
};

// Takes the board out of the table (no new pin can be taken) and waits until
// every pin is released.
void YatRetireBoard(YatManagerExtension* manager, plat::kernel::DeviceObject* device, YatBoardExtension* board);

// Publishes or clears a slot of the board table.
void YatSetBoardSlot(YatManagerExtension* manager, std::uint32_t index, plat::kernel::DeviceObject* device);

// Calls fn(board) for every board of the table, each pinned during its call.
template <typename Fn>
void YatForEachPinnedBoard(YatManagerExtension* manager, Fn fn) {
  for (std::uint32_t index = 0; index < YAT_MAX_BOARDS; ++index) {
    YatBoardExtension* board = YatPinBoardAt(manager, index);
    if (board == nullptr) continue;
    fn(board);
    YatUnpinBoard(board);
  }
}
