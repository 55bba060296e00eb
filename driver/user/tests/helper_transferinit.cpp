// A process that connects a one-tap 8-bit camera to host buffers in its own
// memory through Yat_Transfer_Init, one command per input line, answering
// one line.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "platform/win/objects.h"
#include "platform/win/sections.h"

namespace {

constexpr std::uint32_t kWidth = 64, kHeight = 8, kFormat = 1;
constexpr std::uint32_t kFrameBytes = kWidth * kHeight;
constexpr std::uint32_t kBoard = 0;

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

std::uint32_t Number(std::istringstream& in) {
  std::string text;
  in >> text;
  return static_cast<std::uint32_t>(std::stoul(text.empty() ? "0" : text, nullptr, 0));
}

// Everything the driver and the library keep pointing at while the transfer lives.
struct Transfer {
  YatInternalBuffer onboard{};
  YatImageWindow windowA{0, 0, 0, kWidth, kHeight, 0, kWidth};
  YatImageWindow windowB{0, 0, 0, kWidth, kHeight, 0, kWidth};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  std::vector<std::vector<std::uint8_t>> memory;
  std::vector<YatHostBufferEntry> entries;
  std::vector<std::uint64_t> slotsA;
  YatHostBufferList hosts{};
  YatTransferDesc desc{};
  YatTransferHandle handle{};
};
Transfer* g_transfer = nullptr;  // lives until the process ends: the driver keeps the buffers locked

// Stands in for the packer set-up, which claims the camera's acquisition channel.
std::string ClaimAcq(std::uint32_t channel, std::uint32_t owner) {
  auto* shared = static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  if (shared == nullptr) return "unmapped";
  auto* word = reinterpret_cast<std::uint32_t*>(&shared->boards[kBoard].acqDmaOwner[channel]);
  std::uint32_t expected = YAT_DMA_OWNER_FREE;
  const bool claimed = std::atomic_ref<std::uint32_t>(*word).compare_exchange_strong(expected, owner);
  plat::release_module_shared_data(shared);
  return claimed ? "0" : "taken";
}

// `crossing`: window B starts in window A and runs past its end;
// `dualExtra`: two taps and an extra destination.
std::string Init(std::uint32_t buffers, std::uint32_t cycling, std::uint32_t flipped, std::uint32_t linesFactor,
                 bool crossing, bool dualExtra = false) {
  auto* t = new Transfer;
  g_transfer = t;
  if (crossing) {
    t->windowA.height = kHeight - 2;
    t->windowB.y = kHeight / 2;
    t->windowB.height = kHeight / 2;
  }
  const QelHwStatus made = Yat_InternalBuffer_Create(kBoard, 0, 0, kFrameBytes, &t->onboard);
  if (made != QELHW_OK) return "onboard " + std::to_string(made);
  t->image = {YAT_LOCAL_IMAGE_SIZE, 0, kWidth, kHeight, kFormat, 0, 0, kWidth, kHeight, t->onboard.onboardAddress,
              0, 1, Address(&t->windowA), 1, Address(&t->windowB), 0};
  t->images.images = Address(&t->image);
  t->memory.assign(buffers, std::vector<std::uint8_t>(kFrameBytes));
  t->entries.resize(buffers);
  t->slotsA.resize(buffers);
  for (std::uint32_t b = 0; b < buffers; ++b) {
    YatHostBufferEntry& e = t->entries[b];
    e.entryFlags = (flipped >> b & 1) != 0 ? YAT_ENTRY_VERTICAL_FLIP : 0;
    e.geometry = {kWidth, kHeight, kFormat, 0, 0, kWidth, kHeight};
    e.stateSlotA = Address(&t->slotsA[b]);
    e.lock.user_address = Address(t->memory[b].data());
    e.lock.buffer_size = kFrameBytes;
  }
  t->hosts = {0, cycling, buffers, Address(t->entries.data()), 0};
  t->desc.localImageList = Address(&t->images);
  t->desc.hostBufferList = Address(&t->hosts);
  t->desc.taps = 1;
  t->desc.lastIndex = 1;
  t->desc.routeWord = 1;
  t->desc.linesFactor = linesFactor;
  if (dualExtra) {
    t->desc.taps = 2;
    t->desc.extraLists[0] = Address(&t->hosts);
  }
  const QelHwStatus status = Yat_Transfer_Init(kBoard, &t->desc, &t->handle, 0);
  return std::to_string(status) + ' ' + std::to_string(t->desc.linesMerged);
}

std::string Image(std::uint32_t b) {
  if (g_transfer == nullptr || b >= g_transfer->memory.size()) return "none";
  std::string hex;
  char two[3];
  for (const std::uint8_t byte : g_transfer->memory[b]) {
    std::snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  return hex;
}

// The buffer's state bit as the driver mapped it: 1 while armed for a frame.
std::string State(std::uint32_t b) {
  if (g_transfer == nullptr || b >= g_transfer->slotsA.size() || g_transfer->slotsA[b] == 0) return "none";
  std::uint32_t word = 0;
  std::memcpy(&word, reinterpret_cast<const void*>(g_transfer->slotsA[b]), sizeof word);
  return std::to_string(((word >> 31) | (word >> 24)) & 1);
}

// Waits for the transfer event and answers "position start end" of the next message.
// The next transfer message, waiting up to `ms` for it. The event may still be
// set by a message that was fetched without waiting, so a wake-up with an
// empty queue just waits again.
std::string Message(std::uint32_t ms) {
  YatTransferMessage message{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (Yat_Transfer_GetMessage(kBoard, reinterpret_cast<std::uint8_t*>(&message), sizeof message) != QELHW_OK) {
    std::uint64_t event = 0;
    if (Yat_Transfer_GetEventHandle(kBoard, &event) != QELHW_OK) return "noevent";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "timeout";
    if (plat::wait_for_object(event, static_cast<std::uint32_t>(left.count())) != plat::kWaitObject0)
      return "timeout";
  }
  std::ostringstream out;
  out << (message.word0 & 0x1FFFF) << ' ' << (message.word1 >> 12 & 1) << ' ' << (message.word1 >> 13 & 1);
  return out.str();
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "claim") {
    const std::uint32_t channel = Number(in);
    return ClaimAcq(channel, Number(in));
  }
  if (command == "init") {
    const std::uint32_t buffers = Number(in), cycling = Number(in), flipped = Number(in), linesFactor = Number(in);
    return Init(buffers, cycling, flipped, linesFactor, Number(in) != 0);
  }
  if (command == "dualextra") return Init(2, 1, 0, 1, false, true);
  if (command == "start")
    return g_transfer == nullptr ? "none" : std::to_string(Yat_DMA_StartAutoTransfer(&g_transfer->handle));
  if (command == "image") return Image(Number(in));
  if (command == "state") return State(Number(in));
  if (command == "message") return Message(Number(in));
  if (command == "release")
    return g_transfer == nullptr ? "none" : std::to_string(Yat_Transfer_ReleaseHandle(&g_transfer->handle));
  return "unknown";
}

}  // namespace

int main() {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "exit") return 0;
    std::printf("%s\n", Run(line).c_str());
    std::fflush(stdout);
  }
  return 0;
}
