// A process that connects a one-tap 8-bit camera to host buffers in its own
// memory through Yat_Transfer_Init, one command per input line, answering
// one line.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/kernel/YatTransferRecords.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "platform/win/device.h"
#include "platform/win/objects.h"
#include "platform/win/sections.h"

namespace {

constexpr std::uint32_t kWidth = 64, kHeight = 8, kFormat = 1;
constexpr std::uint32_t kFrameBytes = kWidth * kHeight;
constexpr std::uint32_t kBoard = 0;
constexpr std::uint32_t kPage = 4096;
constexpr std::uint32_t kStatusPreset = 0x0000FFFF;
constexpr std::uint32_t kCounterPreset = 0x1234;
constexpr std::uint32_t kDescriptorCounter = 1u << 29;  // the buffer's counter is asked for

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// An allocation failure on demand: while armed, the `skip`-th allocation of
// at least kLargeAllocation bytes fails (once). The library's list arrays are
// that large; the requests' own small allocations are not.
constexpr std::size_t kLargeAllocation = 1024;
std::atomic<bool> g_failArmed{false};
std::atomic<int> g_failSkip{0};

// The allocator this program would have used: the failure stands in front
// of it, and its own delete frees what it gave.
using NewFunction = void* (*)(std::size_t);
NewFunction UsualNew() {
  static const auto usual = reinterpret_cast<NewFunction>(::dlsym(RTLD_NEXT, "_Znwm"));
  return usual;
}

void* Allocate(std::size_t size) {
  if (size >= kLargeAllocation && g_failArmed.load() && g_failSkip.fetch_sub(1) == 0) {
    g_failArmed = false;
    throw std::bad_alloc();
  }
  return UsualNew()(size);
}


std::uint32_t Number(std::istringstream& in) {
  std::string text;
  in >> text;
  return static_cast<std::uint32_t>(std::stoul(text.empty() ? "0" : text, nullptr, 0));
}

// Host buffers page-aligned in this process, so a test can read where the
// driver's descriptors point within a buffer.
struct HostBuffers {
  std::vector<std::vector<std::uint8_t>> memory;
  std::vector<YatHostBufferEntry> entries;
  std::vector<std::uint64_t> slotsA, slotsB;
  std::vector<std::uint32_t> statusWords, counters, descriptors;
  YatHostBufferList list{};

  // Planar output puts its three planes one below the other in each buffer.
  void Make(std::uint32_t count, std::uint32_t cycling, std::uint32_t flipped, std::uint32_t flags) {
    const std::uint32_t bytes = (flags & 0x40) != 0 ? 3 * kFrameBytes : kFrameBytes;
    memory.assign(count, std::vector<std::uint8_t>(bytes + kPage));
    entries.resize(count);
    slotsA.assign(count, 0);
    slotsB.assign(count, 0);
    statusWords.assign(count, kStatusPreset);
    counters.assign(count, kCounterPreset);
    descriptors.assign(count, kDescriptorCounter);
    for (std::uint32_t b = 0; b < count; ++b) {
      YatHostBufferEntry& e = entries[b];
      e.entryFlags = (flipped >> b & 1) != 0 ? YAT_ENTRY_VERTICAL_FLIP : 0;
      e.geometry = {kWidth, kHeight, kFormat, 0, 0, kWidth, kHeight};
      e.stateSlotA = Address(&slotsA[b]);
      e.stateSlotB = Address(&slotsB[b]);
      e.counter = Address(&counters[b]);
      e.statusWord = Address(&statusWords[b]);
      e.stateDescriptor = Address(&descriptors[b]);
      e.insertIndex = 1;
      e.lock.user_address = Address(Frame(b));
      e.lock.buffer_size = bytes;
    }
    list = {0, cycling, count, Address(entries.data()), flags};
  }
  std::uint8_t* Frame(std::uint32_t b) {
    const auto at = reinterpret_cast<std::uintptr_t>(memory[b].data());
    return memory[b].data() + ((kPage - at % kPage) % kPage);
  }
};

// Everything the driver and the library keep pointing at while the transfer lives.
struct Transfer {
  YatInternalBuffer onboard{};
  YatInternalBuffer insert{};
  std::uint64_t inserts[1] = {};
  // The second windows are the lower half of a frame of two taps, one above the other.
  YatImageWindow windowsA[2] = {{0, 0, 0, kWidth, kHeight, 0, kWidth}, {0, 0, kHeight / 2, kWidth, kHeight / 2, 0, kWidth}};
  YatImageWindow windowsB[2] = {{0, 0, 0, kWidth, kHeight, 0, kWidth}, {0, 0, kHeight / 2, kWidth, kHeight / 2, 0, kWidth}};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  HostBuffers main, extra;
  YatTransferDesc desc{};
  YatTransferHandle handle{};
};
// Every transfer lives until the process ends: the driver keeps its buffers locked.
Transfer* g_transfer = nullptr;  // the latest
std::vector<Transfer*>* const g_transfers = new std::vector<Transfer*>;

struct Options {
  std::uint32_t buffers = 2, cycling = 1, flipped = 0, linesFactor = 1, flags = 0;
  std::uint32_t extra = 0;  // host buffers of extra destination 0
  bool crossing = false;    // window B starts in window A and runs past its end
  bool dualExtra = false;   // two taps and an extra destination
  bool insert = false;      // an on-board buffer in front of every line
  bool twoTaps = false;     // two taps, the upper and the lower half of the frame
  std::uint32_t strip = 0;  // lines of an on-board buffer that holds the frame a strip at a time (0: whole)
  int failAt = -1;          // the large allocation of Yat_Transfer_Init that fails (none: -1)
};

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

std::string Init(const Options& o) {
  auto* t = new Transfer;
  g_transfer = t;
  g_transfers->push_back(t);
  if (o.crossing) {
    t->windowsA[0].height = kHeight - 2;
    t->windowsB[0].y = kHeight / 2;
    t->windowsB[0].height = kHeight / 2;
  }
  const std::uint32_t windows = o.twoTaps ? 2 : 1;
  if (o.twoTaps) t->windowsA[0].height = t->windowsB[0].height = kHeight / 2;
  const std::uint32_t lines = o.strip != 0 ? o.strip : kHeight;
  const QelHwStatus made = Yat_InternalBuffer_Create(kBoard, 0, 0, kWidth * lines, &t->onboard);
  if (made != QELHW_OK) return "onboard " + std::to_string(made);
  t->image = {YAT_LOCAL_IMAGE_SIZE, 0, kWidth, lines, kFormat, 0, 0, kWidth, kHeight, t->onboard.onboardAddress,
              0, windows, Address(t->windowsA), windows, Address(t->windowsB), 0};
  t->images.images = Address(&t->image);
  std::uint32_t flags = o.flags;
  if (o.insert) {
    if (Yat_InternalBuffer_Create(kBoard, 0, 0, kWidth, &t->insert) != QELHW_OK) return "insert";
    t->inserts[0] = Address(&t->insert);
    t->desc.insertListA = Address(t->inserts);
    flags |= 0x1;
  }
  t->main.Make(o.buffers, o.cycling, o.flipped, flags);
  t->desc.localImageList = Address(&t->images);
  t->desc.hostBufferList = Address(&t->main.list);
  t->desc.taps = static_cast<std::uint16_t>(windows);
  t->desc.lastIndex = 1;
  t->desc.routeWord = 1;
  t->desc.linesFactor = o.linesFactor;
  if (o.extra != 0) {
    t->extra.Make(o.extra, 1, 0, 0);
    t->desc.extraDestinations = 1;
    t->desc.extraLists[0] = Address(&t->extra.list);
  }
  if (o.dualExtra) {
    t->desc.taps = 2;
    t->desc.extraLists[0] = Address(&t->main.list);
  }
  g_failSkip = o.failAt;
  g_failArmed = o.failAt >= 0;
  const QelHwStatus status = Yat_Transfer_Init(kBoard, &t->desc, &t->handle, 0);
  const bool failed = o.failAt >= 0 && !g_failArmed.exchange(false);
  return std::to_string(status) + ' ' + std::to_string(t->desc.linesMerged) + (failed ? " failed" : "");
}

// "key=value" words after the command.
Options Parse(std::istringstream& in) {
  Options o;
  std::string word;
  while (in >> word) {
    const auto equals = word.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = word.substr(0, equals);
    const auto value = static_cast<std::uint32_t>(std::stoul(word.substr(equals + 1), nullptr, 0));
    if (key == "buffers") o.buffers = value;
    else if (key == "flags") o.flags = value;
    else if (key == "extra") o.extra = value;
    else if (key == "insert") o.insert = value != 0;
    else if (key == "crossing") o.crossing = value != 0;
    else if (key == "flipped") o.flipped = value;
    else if (key == "taps") o.twoTaps = value == 2;
    else if (key == "strip") o.strip = value;
    else if (key == "failat") o.failAt = static_cast<int>(value);
  }
  return o;
}

std::string Image(HostBuffers& buffers, std::uint32_t b) {
  if (b >= buffers.memory.size()) return "none";
  std::string hex;
  char two[3];
  for (std::uint32_t i = 0; i < kFrameBytes; ++i) {
    std::snprintf(two, sizeof two, "%02x", buffers.Frame(b)[i]);
    hex += two;
  }
  return hex;
}

// The buffer's state bit as the driver mapped it: 1 while armed for a frame.
std::string State(const HostBuffers& buffers, std::uint32_t b) {
  if (b >= buffers.slotsA.size() || buffers.slotsA[b] == 0) return "none";
  std::uint32_t word = 0;
  std::memcpy(&word, reinterpret_cast<const void*>(buffers.slotsA[b]), sizeof word);
  return std::to_string(((word >> 31) | (word >> 24)) & 1);
}

// What the caller's entry holds: "status counter descriptor slotA".
std::string Entry(std::uint32_t b) {
  if (g_transfer == nullptr || b >= g_transfer->main.entries.size()) return "none";
  const HostBuffers& m = g_transfer->main;
  char text[96];
  std::snprintf(text, sizeof text, "%08x %x %x %s", m.statusWords[b], m.counters[b], m.descriptors[b],
                m.slotsA[b] == 0 ? "0" : "set");
  return text;
}

std::string Register(std::uint32_t reg) {
  std::uint32_t value = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(kBoard, 0, reg, &value);
  char text[32];
  std::snprintf(text, sizeof text, "%d %x", status, value);
  return text;
}

// The driver's host descriptors of the transfer, read through the diagnostic
// mapping: "bytes@offset" of the first `count`. A frame fits one page of its
// page-aligned buffer, so the offset in the page is the offset in the buffer.
std::string HostChain(std::uint32_t count) {
  if (g_transfer == nullptr || count > 64) return "none";
  const plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  if (device == plat::kNullHandle) return "nodevice";
  YatDbgMapDescRecord in{{YAT_IOC_TARGET_BOARD, kBoard}, g_transfer->handle.kernelHandle, YAT_DMA_TYPE_BH, 0, 0, 0};
  YatDbgMapDescOut out{};
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_DBG_MAP_DESC, &in, sizeof in, &out, sizeof out, &bytes);
  std::string text = "unmapped";
  if (out.status.status == 0 && out.userAddress != 0) {
    std::vector<YatHostDescriptor> chain(count);
    std::memcpy(chain.data(), reinterpret_cast<const std::uint8_t*>(out.userAddress) + 32,
                count * sizeof(YatHostDescriptor));
    std::ostringstream line;
    for (const YatHostDescriptor& d : chain)
      line << (d.control & YAT_HOST_COUNT_MASK) << '@' << d.addressLow % kPage << ' ';
    text = line.str();
    YatDbgUnmapDescRecord unmap{{YAT_IOC_TARGET_BOARD, kBoard}, out.userAddress};
    YatIocStatus done{};
    plat::device_io_control(device, YAT_IOCTRL_DBG_UNMAP_DESC, &unmap, sizeof unmap, &done, sizeof done, &bytes);
  }
  plat::close_device(device);
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
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

// Waits for `count` end-of-buffer messages of any host channel.
std::string Ends(std::uint32_t count, std::uint32_t ms) {
  std::vector<std::string> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (seen.size() < count) {
    YatTransferMessage message{};
    if (Yat_Transfer_GetMessage(kBoard, reinterpret_cast<std::uint8_t*>(&message), sizeof message) == QELHW_OK) {
      if ((message.word1 >> 13 & 1) != 0)
        seen.push_back(std::to_string(message.word0 >> 24 & 0x3F) + ':' + std::to_string(message.word0 & 0x1FFFF));
      continue;
    }
    std::uint64_t event = 0;
    if (Yat_Transfer_GetEventHandle(kBoard, &event) != QELHW_OK) return "noevent";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || plat::wait_for_object(event, static_cast<std::uint32_t>(left.count())) != plat::kWaitObject0)
      break;
  }
  std::sort(seen.begin(), seen.end());
  std::string text;
  for (const std::string& s : seen) text += (text.empty() ? "" : " ") + s;
  return text.empty() ? "timeout" : text;
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
    Options o;
    o.buffers = Number(in);
    o.cycling = Number(in);
    o.flipped = Number(in);
    o.linesFactor = Number(in);
    o.crossing = Number(in) != 0;
    return Init(o);
  }
  if (command == "connect") return Init(Parse(in));
  if (command == "dualextra") {
    Options o;
    o.dualExtra = true;
    return Init(o);
  }
  if (command == "start")
    return g_transfer == nullptr ? "none" : std::to_string(Yat_DMA_StartAutoTransfer(&g_transfer->handle));
  if (command == "image") return g_transfer == nullptr ? "none" : Image(g_transfer->main, Number(in));
  if (command == "extraimage") return g_transfer == nullptr ? "none" : Image(g_transfer->extra, Number(in));
  if (command == "state") return g_transfer == nullptr ? "none" : State(g_transfer->main, Number(in));
  if (command == "entry") return Entry(Number(in));
  if (command == "register") return Register(Number(in));
  if (command == "hostchain") return HostChain(Number(in));
  if (command == "message") return Message(Number(in));
  if (command == "ends") {  // "channel:buffer" of the next `count` end-of-buffer messages, in order
    const std::uint32_t count = Number(in);
    return Ends(count, Number(in));
  }
  if (command == "position") {  // the host channel of a handle slot starts at buffer 0
    const std::uint32_t slot = Number(in);
    if (g_transfer == nullptr || slot >= YAT_TRANSFER_SLOTS) return "none";
    return std::to_string(
        Yat_Transfer_InitHostBufferIndex(&g_transfer->handle, 0, g_transfer->handle.slots[slot].hostDmaChannel));
  }
  if (command == "hostposition") {  // a host channel of the transfer starts at buffer 0
    const std::uint32_t channel = Number(in);
    if (g_transfer == nullptr) return "none";
    return std::to_string(Yat_Transfer_InitHostBufferIndex(&g_transfer->handle, 0, channel));
  }
  if (command == "release")
    return g_transfer == nullptr ? "none" : std::to_string(Yat_Transfer_ReleaseHandle(&g_transfer->handle));
  if (command == "channel")  // the host DMA channel of the handle's main slot
    return g_transfer == nullptr ? "none" : std::to_string(g_transfer->handle.slots[0].hostDmaChannel);
  if (command == "listcount") {  // the caller's main list claims another buffer count
    if (g_transfer == nullptr) return "none";
    g_transfer->main.list.bufferCount = Number(in);
    return "0";
  }
  return "unknown";
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }

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
