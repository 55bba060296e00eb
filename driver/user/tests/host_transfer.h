// A camera's frames carried into host buffers through the board library's
// own transfer exports, for the test helper programs (the board library's and
// the server driver's): an on-board buffer, one 8-bit window of the camera,
// host buffers, the transfer started; and the transfer messages read back.
// The records live as long as the transfer, which the driver keeps locked.
#pragma once

#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransfer.h"
#include "platform/win/objects.h"

namespace host_transfer {

inline constexpr std::uint32_t kMono8 = 1;

struct HostTransfer {
  std::uint32_t width = 0, height = 0;
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

inline std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// Describes the transfer of `camera` of `board` into `buffers` host buffers
// of width x height bytes and starts its DMA.
inline QelHwStatus Start(HostTransfer* t, std::uint32_t board, std::uint32_t camera, std::uint32_t buffers,
                         std::uint32_t width, std::uint32_t height) {
  const std::uint32_t bytes = width * height;
  t->width = width;
  t->height = height;
  t->windowA = t->windowB = {0, 0, 0, width, height, 0, width};
  QelHwStatus status = Yat_InternalBuffer_Create(board, 0, 0, bytes, &t->onboard);
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
  t->desc.camera = camera;
  status = Yat_Transfer_Init(board, &t->desc, &t->handle, 0);
  return status == QELHW_OK ? Yat_DMA_StartAutoTransfer(&t->handle) : status;
}

// "position start end" of the board's next transfer message, waiting up to
// `ms`; "timeout" or "noevent" otherwise. The event may still be set by a
// message fetched without waiting, so a wake-up with an empty queue waits again.
inline std::string NextMessage(std::uint32_t board, std::uint32_t ms) {
  YatTransferMessage message{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (Yat_Transfer_GetMessage(board, reinterpret_cast<std::uint8_t*>(&message), sizeof message) != QELHW_OK) {
    std::uint64_t event = 0;
    if (Yat_Transfer_GetEventHandle(board, &event) != QELHW_OK) return "noevent";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "timeout";
    if (plat::wait_for_object(event, static_cast<std::uint32_t>(left.count())) != plat::kWaitObject0) return "timeout";
  }
  std::ostringstream out;
  out << (message.word0 & 0x1FFFF) << ' ' << (message.word1 >> 12 & 1) << ' ' << (message.word1 >> 13 & 1);
  return out.str();
}

}  // namespace host_transfer
