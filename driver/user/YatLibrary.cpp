#include "driver/user/YatLibrary.h"

#include <atomic>
#include <memory>

#include "platform/win/debug_output.h"
#include "platform/win/sections.h"

namespace {

YatProcessState g_process;

// The attach hook only records the module: it runs while the library's
// static objects (the platform's among them) are still being built.
bool PardowModuleEntry(plat::ModuleHandle self, plat::ModuleEvent event) {
  if (event == plat::ModuleEvent::kProcessAttach) g_process.module = self;
  return true;
}

struct SharedView {
  YatSharedData* data;
  bool mapped;
};

// Mapped at first use and kept for the life of the process, whose end the
// platform sees as the section's release.
SharedView MapShared() {
  auto* shared =
      static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  if (shared != nullptr) return {shared, true};
  static auto fallback = std::make_unique<YatSharedData>();
  return {fallback.get(), false};
}

const SharedView& Shared() {
  static const SharedView view = MapShared();
  return view;
}

std::atomic_ref<std::uint32_t> LoadCount() {
  return std::atomic_ref<std::uint32_t>(Yat_GetSharedBoardInfo()->loadCount);
}

}  // namespace

PLAT_MODULE_ENTRY(PardowModuleEntry)

YatProcessState& Yat_GetProcessState() { return g_process; }

YatSharedData* Yat_GetSharedData() { return Shared().data; }

bool Yat_IsSharedDataMapped() { return Shared().mapped; }

YatSharedBoardInfo* Yat_GetSharedBoardInfo() { return &Yat_GetSharedData()->info; }

YatBoardEntry* Yat_GetBoardEntry(std::uint32_t board) {
  return board < YAT_MAX_BOARD ? &Yat_GetSharedData()->boards[board] : nullptr;
}

std::uint32_t Yat_GetProcessSlot() { return g_process.processSlot; }

plat::Handle Yat_GetDeviceHandle() { return g_process.device; }

bool Yat_IsDeviceOpen() { return g_process.device != kYatInvalidDevice; }

std::uint32_t Yat_GetDebugLevel() {
  return std::atomic_ref<std::uint32_t>(Yat_GetSharedData()->debugLevel).load();
}

void Yat_DebugTrace(const char* text) {
  if (Yat_GetDebugLevel() > 1) plat::output_debug_string(text);
}

std::uint32_t Yat_IncrementLoadCount() { return LoadCount().fetch_add(1) + 1; }

std::uint32_t Yat_DecrementLoadCount() { return LoadCount().fetch_sub(1) - 1; }
