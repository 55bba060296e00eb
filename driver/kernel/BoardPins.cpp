#include "driver/kernel/BoardPins.h"

#include <array>

#include "platform/kernel/sync.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::int64_t kDrainStepMs = 1;
constexpr std::size_t kRequestPins = 4;

// The pins the request running on this thread holds.
struct RequestPins {
  std::uint32_t depth = 0;
  std::size_t count = 0;
  std::array<YatBoardExtension*, kRequestPins> boards{};
};
thread_local RequestPins t_request;

class TableLock {
 public:
  explicit TableLock(YatManagerExtension* manager) : lock_(&manager->boardTableLock) { acquire_spin_lock(lock_, &old_); }
  ~TableLock() { release_spin_lock(lock_, old_); }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  SpinLock* lock_;
  Irql old_ = kPassiveLevel;
};

bool InTable(const YatManagerExtension* manager, const YatBoardExtension* board) {
  for (DeviceObject* device : manager->boardSlots)
    if (device != nullptr && BoardOf(device) == board) return true;
  return false;
}

}  // namespace

bool YatPinBoard(YatManagerExtension* manager, YatBoardExtension* board) {
  if (manager == nullptr || board == nullptr) return false;
  TableLock lock(manager);
  if (board->retiring.load() != 0 || !InTable(manager, board)) return false;
  board->pins.fetch_add(1);
  return true;
}

YatBoardExtension* YatPinBoardAt(YatManagerExtension* manager, std::uint32_t index) {
  if (manager == nullptr || index >= YAT_MAX_BOARDS) return nullptr;
  TableLock lock(manager);
  YatBoardExtension* board = BoardOf(manager->boardSlots[index]);
  if (board == nullptr || board->retiring.load() != 0) return nullptr;
  board->pins.fetch_add(1);
  return board;
}

void YatUnpinBoard(YatBoardExtension* board) {
  if (board != nullptr) board->pins.fetch_sub(1);
}

bool YatPinForRequest(YatManagerExtension* manager, YatBoardExtension* board) {
  if (t_request.depth == 0) return true;
  for (std::size_t i = 0; i < t_request.count; ++i)
    if (t_request.boards[i] == board) return true;
  if (t_request.count == kRequestPins || !YatPinBoard(manager, board)) return false;
  t_request.boards[t_request.count++] = board;
  return true;
}

YatRequestScope::YatRequestScope() { ++t_request.depth; }

YatRequestScope::~YatRequestScope() {
  if (--t_request.depth != 0) return;
  for (std::size_t i = 0; i < t_request.count; ++i) YatUnpinBoard(t_request.boards[i]);
  t_request.count = 0;
}

void YatRetireBoard(YatManagerExtension* manager, DeviceObject* device, YatBoardExtension* board) {
  if (board == nullptr) return;
  if (manager != nullptr) {
    TableLock lock(manager);
    board->retiring.store(1);
    if (board->boardSlot < YAT_MAX_BOARDS && manager->boardSlots[board->boardSlot] == device)
      manager->boardSlots[board->boardSlot] = nullptr;
  } else {
    board->retiring.store(1);
  }
  while (board->pins.load() != 0) delay_execution(relative_milliseconds(kDrainStepMs));
}

void YatSetBoardSlot(YatManagerExtension* manager, std::uint32_t index, DeviceObject* device) {
  if (manager == nullptr || index >= YAT_MAX_BOARDS) return;
  TableLock lock(manager);
  manager->boardSlots[index] = device;
}
