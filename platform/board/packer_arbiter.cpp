#include "platform/board/packer_arbiter.h"

namespace plat::board {

namespace {

// The window and the offset inside it; false beyond the grab controllers.
bool locate(std::uint32_t offset, std::uint32_t* window, std::uint32_t* local) {
  for (std::uint32_t w = 0; w < kArbiterWindows; ++w) {
    const std::uint32_t base = w * kArbiterWindowStride;
    if (offset >= kRegArbiterSwap + base && offset < kRegArbiterSwap + base + kArbiterWindowStride - 0x38) {
      *window = w;
      *local = offset - base;
      return true;
    }
  }
  return false;
}

bool store_entry(ArbiterList& list, std::uint32_t first, std::uint32_t local, std::uint32_t value) {
  if (local < first || local >= first + 4 * list.size()) return false;
  list[(local - first) / 4] = value;
  return true;
}

void request_swap(ArbiterWindow& window, bool to_shadow) {
  if (window.on_shadow == to_shadow) return;
  window.on_shadow = to_shadow;
  window.live = to_shadow ? window.shadow : window.main;
  ++window.swaps;
}

}  // namespace

void packer_arbiter_write(PackerArbiter& arbiter, std::uint32_t offset, std::uint32_t value) {
  std::uint32_t w = 0;
  std::uint32_t local = 0;
  if (!locate(offset, &w, &local)) return;
  ArbiterWindow& window = arbiter.windows[w];
  if (local == kRegArbiterSwap) {
    request_swap(window, (value & kArbiterSwapRequest) != 0);
    return;
  }
  if (store_entry(window.main, kRegArbiterMainList, local, value)) return;
  store_entry(window.shadow, kRegArbiterShadowList, local, value);
}

void packer_arbiter_read(const PackerArbiter& arbiter, std::uint32_t offset, std::uint32_t* value) {
  std::uint32_t w = 0;
  std::uint32_t local = 0;
  if (!locate(offset, &w, &local) || local != kRegArbiterSwap) return;
  *value = (*value & ~kArbiterSwapRequest) | (arbiter.windows[w].on_shadow ? kArbiterSwapRequest : 0);
}

}  // namespace plat::board
