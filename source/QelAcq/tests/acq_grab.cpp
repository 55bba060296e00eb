#include "source/QelAcq/tests/acq_grab.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransfer.h"
#include "platform/win/objects.h"

namespace {

constexpr std::uint32_t kMono8 = 1;
constexpr std::uint32_t kCameras = 2;

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

struct Transfer {
  YatInternalBuffer onboard{};
  YatImageWindow windowA{}, windowB{};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  std::vector<std::vector<std::uint8_t>> memory;
  std::vector<YatHostBufferEntry> entries;
  std::vector<std::uint64_t> slots;
  YatHostBufferList hosts{};
  YatTransferDesc desc{};
  YatTransferHandle handle{};
};
Transfer* g_transfers[kCameras] = {};

}  // namespace

std::int32_t AcqGrabConnect(YatAcqHandle* hw, std::uint32_t buffers, std::uint32_t width, std::uint32_t height) {
  if (hw == nullptr || hw->camera >= kCameras || buffers == 0) return QELHW_ERROR_ARG_INVALID;
  auto* t = new Transfer;
  g_transfers[hw->camera] = t;
  const std::uint32_t bytes = width * height;
  t->windowA = t->windowB = {0, 0, 0, width, height, 0, width};
  QelHwStatus status = Yat_InternalBuffer_Create(hw->board, 0, 0, bytes, &t->onboard);
  if (status != QELHW_OK) return status;
  t->image = {YAT_LOCAL_IMAGE_SIZE, 0, width, height, kMono8, 0, 0, width, height, t->onboard.onboardAddress,
              0, 1, Address(&t->windowA), 1, Address(&t->windowB), 0};
  t->images.images = Address(&t->image);
  t->memory.assign(buffers, std::vector<std::uint8_t>(bytes));
  t->entries.resize(buffers);
  t->slots.resize(buffers);
  for (std::uint32_t b = 0; b < buffers; ++b) {
    YatHostBufferEntry& e = t->entries[b];
    e.geometry = {width, height, kMono8, 0, 0, width, height};
    e.stateSlotA = Address(&t->slots[b]);
    e.lock.user_address = Address(t->memory[b].data());
    e.lock.buffer_size = bytes;
  }
  t->hosts = {0, 1, buffers, Address(t->entries.data()), 0};
  t->desc.localImageList = Address(&t->images);
  t->desc.hostBufferList = Address(&t->hosts);
  t->desc.taps = 1;
  t->desc.lastIndex = 1;
  t->desc.routeWord = 1;
  t->desc.camera = hw->camera;
  status = Yat_Transfer_Init(hw->board, &t->desc, &t->handle, 0);
  return status == QELHW_OK ? Yat_DMA_StartAutoTransfer(&t->handle) : status;
}

std::string AcqGrabMessage(std::uint32_t board, std::uint32_t ms) {
  YatTransferMessage message{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (Yat_Transfer_GetMessage(board, reinterpret_cast<std::uint8_t*>(&message), sizeof message) != QELHW_OK) {
    std::uint64_t event = 0;
    if (Yat_Transfer_GetEventHandle(board, &event) != QELHW_OK) return "noevent";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "timeout";
    if (plat::wait_for_object(event, static_cast<std::uint32_t>(left.count())) != plat::kWaitObject0) return "timeout";
  }
  char text[48];
  std::snprintf(text, sizeof text, "%u %u %u", message.word0 & 0x1FFFF, message.word1 >> 12 & 1, message.word1 >> 13 & 1);
  return text;
}

std::string AcqGrabImage(std::uint32_t camera, std::uint32_t buffer) {
  const Transfer* t = camera < kCameras ? g_transfers[camera] : nullptr;
  if (t == nullptr || buffer >= t->memory.size()) return "none";
  std::string hex;
  char pair[3];
  for (std::uint8_t byte : t->memory[buffer]) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}
