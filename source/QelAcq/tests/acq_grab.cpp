#include "source/QelAcq/tests/acq_grab.h"

#include "driver/user/YatSharedData.h"
#include "driver/user/tests/helper_support.h"
#include "driver/user/tests/host_transfer.h"

namespace {

constexpr std::uint32_t kCameras = 2;
host_transfer::HostTransfer* g_transfers[kCameras] = {};

}  // namespace

std::int32_t AcqGrabConnect(YatAcqHandle* hw, std::uint32_t buffers, std::uint32_t width, std::uint32_t height) {
  if (hw == nullptr || hw->camera >= kCameras || buffers == 0) return QELHW_ERROR_ARG_INVALID;
  auto* t = new host_transfer::HostTransfer;
  g_transfers[hw->camera] = t;
  return host_transfer::Start(t, hw->board, hw->camera, buffers, width, height);
}

std::string AcqGrabImage(std::uint32_t camera, std::uint32_t buffer) {
  const host_transfer::HostTransfer* t = camera < kCameras ? g_transfers[camera] : nullptr;
  if (t == nullptr || buffer >= t->memory.size()) return "none";
  return helper::Hex(t->memory[buffer].data(), t->memory[buffer].size());
}
