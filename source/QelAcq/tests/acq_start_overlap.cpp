#include "source/QelAcq/tests/acq_start_overlap.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/win/object_table.h"
#include "source/QelAcq/AcqModule.h"

namespace {

using plat::object_table::NameSpace;

std::uint32_t Waiters(const char* name) {
  plat::object_table::Table* table = plat::object_table::current();
  if (table == nullptr) return 0;
  plat::object_table::Lock lock(*table);
  const plat::object_table::Slot* slot = plat::object_table::find_named(*table, NameSpace::kObjects, name);
  return slot == nullptr ? 0 : slot->waiters.load();
}

// True once a thread waits for the named mutex; false after two minutes.
bool AwaitWaiter(const char* name) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (Waiters(name) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

std::string StartUpWhileBoardHeld(std::uint32_t board, std::uint32_t (*startUp)()) {
  char name[64];
  std::snprintf(name, sizeof name, "%s_ACQ_%u", kAcqBoardName, board);
  auto request = std::make_unique<AcqBoardMutex>(board);
  if (!request->held()) return "overlap held 0";
  std::uint32_t status = 0xFFFFFFFF;
  std::thread starting([&] { status = startUp(); });
  const bool waited = AwaitWaiter(name);
  { std::lock_guard<std::recursive_mutex> section(AcqBoardSection(board)); }
  request.reset();
  starting.join();
  return "overlap " + std::to_string(waited ? 1 : 0) + " " + std::to_string(status);
}
