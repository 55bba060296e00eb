#include "platform/bench/bench_grab.h"

#include <atomic>
#include <cstring>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatAcq.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransfer.h"
#include "platform/board/dma_frames.h"
#include "platform/testing/board_control.h"
#include "platform/win/objects.h"

namespace plat::bench {
namespace {

constexpr std::uint32_t kBoard = 0;
constexpr std::uint32_t kMono8 = 1;
constexpr std::uint32_t kArmedBits = (1u << 31) | (1u << 24);
constexpr std::uint32_t kEndOfFrame = 1u << 13;
constexpr std::uint32_t kPositionMask = 0x1FFFF;
// 31 x 223 = 1 (mod 256): a frame's number (mod 256) from its first byte.
constexpr std::uint32_t kInverseOf31 = 223;

std::uint64_t address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

void set_word(void* record, std::uint32_t index, std::uint32_t value) {
  std::memcpy(static_cast<std::uint8_t*>(record) + 4 * index, &value, sizeof value);
}

// A one-tap 8-bit monochrome window of the whole frame: the standard format resized.
std::vector<std::uint8_t> window_of(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> window(YAT_ACQ_WINDOW_SIZE);
  std::uint8_t* format = window.data() + YAT_ACQ_WINDOW_HEAD_SIZE;
  QelHw_Acq_GetStdVideoFormat(nullptr, 0, format);
  set_word(format, 6, width);
  set_word(format, 11, height);
  set_word(format, 20, 8);
  set_word(format, 23, 5);
  set_word(window.data(), 3, height);
  return window;
}

}  // namespace

// What the driver points at while the transfer lives.
struct GrabSession::Library {
  YatAcqHandle* handle = nullptr;
  YatInternalBuffer onboard{};
  YatImageWindow window_a{}, window_b{};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  std::vector<std::vector<std::uint8_t>> memory;
  std::vector<YatHostBufferEntry> entries;
  std::vector<std::uint64_t> slots;
  std::vector<std::uint32_t> armed;
  YatHostBufferList hosts{};
  YatTransferDesc desc{};
  YatTransferHandle transfer{};
  bool onboard_made = false;
  bool transfer_made = false;
  std::uint64_t event = 0;
  std::chrono::steady_clock::time_point first{}, last{};
};

GrabSession::GrabSession(std::uint32_t camera, std::uint32_t width, std::uint32_t height, std::uint32_t period_us,
                         std::uint32_t buffers)
    : camera_(camera), width_(width), height_(height), library_(std::make_unique<Library>()) {
  Library& l = *library_;
  const plat::board::ControlCameraModel model{width, height, 1, 8, period_us};
  if (plat::testing::board_control_set_camera_model(kBoard, camera, model) != plat::board::kControlOk) return;
  if (QelHw_Acq_GetHandle(kBoard, camera, &l.handle) != QELHW_OK) return;
  const std::vector<std::uint8_t> window = window_of(width, height);
  if (QelHw_Acq_SetAcqWindow(l.handle, window.data(), kMono8) != QELHW_OK) return;
  const auto bytes = static_cast<std::uint32_t>(frame_bytes());
  if (Yat_InternalBuffer_Create(kBoard, 0, 0, bytes, &l.onboard) != QELHW_OK) return;
  l.onboard_made = true;
  l.window_a = l.window_b = {0, 0, 0, width, height, 0, width};
  l.image = {YAT_LOCAL_IMAGE_SIZE, 0, width, height, kMono8, 0, 0, width, height, l.onboard.onboardAddress,
             0, 1, address(&l.window_a), 1, address(&l.window_b), 0};
  l.images.images = address(&l.image);
  l.memory.assign(buffers, std::vector<std::uint8_t>(bytes));
  l.entries.resize(buffers);
  l.slots.resize(buffers);
  for (std::uint32_t b = 0; b < buffers; ++b) {
    YatHostBufferEntry& e = l.entries[b];
    e.geometry = {width, height, kMono8, 0, 0, width, height};
    e.stateSlotA = address(&l.slots[b]);
    e.lock.user_address = address(l.memory[b].data());
    e.lock.buffer_size = bytes;
  }
  l.hosts = {0, 1, buffers, address(l.entries.data()), 0};
  l.desc.localImageList = address(&l.images);
  l.desc.hostBufferList = address(&l.hosts);
  l.desc.taps = 1;
  l.desc.lastIndex = 1;
  l.desc.routeWord = 1;
  l.desc.camera = camera;
  if (Yat_Transfer_Init(kBoard, &l.desc, &l.transfer, 0) != QELHW_OK) return;
  l.transfer_made = true;
  if (Yat_DMA_StartAutoTransfer(&l.transfer) != QELHW_OK) return;
  for (std::uint32_t b = 0; b < buffers; ++b) {
    auto* word = reinterpret_cast<std::uint32_t*>(l.slots[b]);
    if (word == nullptr) return;
    l.armed.push_back(std::atomic_ref<std::uint32_t>(*word).load() & kArmedBits);
  }
  ready_ = Yat_Transfer_GetEventHandle(kBoard, &l.event) == QELHW_OK;
}

GrabSession::~GrabSession() {
  Library& l = *library_;
  if (running_) stop();
  if (l.transfer_made) Yat_Transfer_ReleaseHandle(&l.transfer);
  if (l.onboard_made) Yat_InternalBuffer_Free(&l.onboard);
  if (l.handle != nullptr) QelHw_Acq_ReleaseHandle(l.handle);
}

std::vector<std::vector<std::uint8_t>>& GrabSession::buffers() { return library_->memory; }

bool GrabSession::start() {
  if (!ready_) return false;
  running_ = QelHw_Acq_AcquireVideo(library_->handle) == QELHW_OK;
  return running_;
}

// Checks the frame in buffer `b` and hands it back. Answers the frame's number (mod 256).
static std::uint32_t check_frame(const std::vector<std::uint8_t>& frame, std::uint32_t camera, std::uint32_t width,
                                 std::uint32_t height, std::uint32_t line_stride, bool* good) {
  const std::uint32_t number = ((frame[0] - camera * 101u) * kInverseOf31) & 0xFF;
  *good = true;
  for (std::uint32_t y = 0; y < height && *good; y += line_stride) {
    const std::uint8_t* line = frame.data() + std::size_t{y} * width;
    const std::uint32_t base = y * 13 + number * 31 + camera * 101;
    std::uint8_t differs = 0;
    for (std::uint32_t x = 0; x < width; ++x) differs |= line[x] ^ static_cast<std::uint8_t>(x * 7 + base);
    *good = differs == 0;
  }
  if (*good && height > 1) {
    const std::uint8_t* last = frame.data() + std::size_t{height - 1} * width;
    *good = last[width - 1] == plat::board::camera_pattern(kBoard, camera, number, width - 1, height - 1);
  }
  return number;
}

bool GrabSession::take_one(std::uint32_t wait_ms, std::uint32_t line_stride, GrabCounts* counts) {
  Library& l = *library_;
  YatTransferMessage message{};
  while (Yat_Transfer_GetMessage(kBoard, reinterpret_cast<std::uint8_t*>(&message), sizeof message) != QELHW_OK) {
    if (plat::wait_for_object(l.event, wait_ms) != plat::kWaitObject0) return false;
  }
  if ((message.word1 & kEndOfFrame) == 0) return true;
  const std::uint32_t b = message.word0 & kPositionMask;
  if (b >= l.memory.size()) return true;
  bool good = false;
  const std::uint32_t number = check_frame(l.memory[b], camera_, width_, height_, line_stride, &good);
  std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(l.slots[b])).fetch_or(l.armed[b]);
  const auto now = std::chrono::steady_clock::now();
  if (counts->frames == 0) l.first = now;
  l.last = now;
  ++counts->frames;
  if (!good) ++counts->bad_frames;
  if (have_last_) counts->gaps += (number - last_number_ - 1) & 0xFF;
  have_last_ = true;
  last_number_ = number;
  return true;
}

GrabCounts GrabSession::take(std::chrono::steady_clock::duration duration, std::uint32_t line_stride) {
  GrabCounts counts;
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) take_one(100, line_stride, &counts);
  counts.first_to_last_s = std::chrono::duration<double>(library_->last - library_->first).count();
  return counts;
}

GrabCounts GrabSession::stop() {
  GrabCounts counts;
  if (!running_) return counts;
  QelHw_Acq_AbortVideo(library_->handle);
  running_ = false;
  while (take_one(200, height_, &counts)) {
  }
  return counts;
}

plat::board::ControlGrabState GrabSession::board_state() const {
  plat::board::ControlGrabState state{};
  plat::testing::board_control_grab_state(kBoard, camera_, &state);
  return state;
}

}  // namespace plat::bench
