// A process that drives the board library's acquisition entry points: handles
// on board 0, their video formats and windows, grabs, triggers, and host
// buffers that take a camera's frames through Yat_Transfer_Init. One command
// per input line, one answer line each.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatAcq.h"
#include "driver/user/tests/helper_support.h"
#include "driver/user/tests/host_transfer.h"
#include "platform/win/objects.h"

namespace {

using helper::Number;

constexpr std::uint32_t kBoard = 0;
constexpr std::uint32_t kCameras = 2;
constexpr std::uint32_t kFormatMono8 = 1;

YatAcqHandle* g_handles[kCameras] = {};


YatAcqHandle* HandleOf(std::uint32_t camera) { return camera < kCameras ? g_handles[camera] : nullptr; }

void SetWord(void* record, std::uint32_t index, std::uint32_t value) {
  std::memcpy(static_cast<std::uint8_t*>(record) + 4 * index, &value, sizeof value);
}

// A one-tap monochrome camera of `width` x `height` with `bits` per pixel,
// cropped to its whole frame: the standard 640 x 480 format resized.
std::array<std::uint8_t, YAT_VIDEO_FORMAT_SIZE> VideoFormat(std::uint32_t width, std::uint32_t height,
                                                            std::uint32_t type, std::uint32_t bits) {
  std::array<std::uint8_t, YAT_VIDEO_FORMAT_SIZE> format{};
  QelHw_Acq_GetStdVideoFormat(nullptr, 0, format.data());
  SetWord(format.data(), 6, width);
  SetWord(format.data(), 11, height);
  SetWord(format.data(), 20, bits);
  SetWord(format.data(), 23, type);
  return format;
}

std::array<std::uint8_t, YAT_ACQ_WINDOW_SIZE> Window(std::uint32_t width, std::uint32_t height) {
  std::array<std::uint8_t, YAT_ACQ_WINDOW_SIZE> window{};
  SetWord(window.data(), 3, height);
  const auto format = VideoFormat(width, height, 5, 8);
  std::memcpy(window.data() + YAT_ACQ_WINDOW_HEAD_SIZE, format.data(), format.size());
  return window;
}

std::string GetHandle(std::uint32_t board, std::uint32_t camera) {
  YatAcqHandle* handle = reinterpret_cast<YatAcqHandle*>(0x1);  // shows that a failure clears it
  const QelHwStatus status = QelHw_Acq_GetHandle(board, camera, &handle);
  if (board == kBoard && camera < kCameras) g_handles[camera] = handle;
  return std::to_string(status) + (handle == nullptr ? " null" : " set");
}

// The handle's fields as the shared section holds them.
std::string Info(std::uint32_t camera) {
  const YatAcqHandle* h = HandleOf(camera);
  if (h == nullptr) return "none";
  std::ostringstream out;
  out << std::hex << h->type << std::dec << ' ' << h->board << ' ' << h->camera << ' ' << h->configurationCount << ' '
      << h->firmwarePresent << ' ' << h->grabCtrl.extTriggerFrameCount << ' ' << h->pixelFormat << ' '
      << h->cropLineMultiplier;
  return out.str();
}

std::string SetFormat(std::uint32_t camera, std::uint32_t type, std::uint32_t bits) {
  YatAcqHandle* h = HandleOf(camera);
  const auto format = VideoFormat(64, 8, type, bits);
  const QelHwStatus status = QelHw_Acq_SetVideoFormat(h, format.data());
  return std::to_string(status) + ' ' + std::to_string(h == nullptr ? 0 : h->pixelFormat);
}

// The crop-length rule on a window of format mode `mode` with `segments`
// segments; `flagsAt` is the flag word at tap position 0 and at `taps`.
std::string CropLength(std::istringstream& in) {
  std::array<std::uint8_t, YAT_ACQ_WINDOW_SIZE> w{};
  const std::uint32_t mode = Number(in), segments = Number(in), a = Number(in), b = Number(in), height = Number(in),
                      flags = Number(in), taps = Number(in), withLength = Number(in);
  SetWord(w.data(), 3, a);
  SetWord(w.data(), 4, b);
  SetWord(w.data(), 10 + 59, mode);
  SetWord(w.data(), 10 + 22, segments);
  SetWord(w.data(), 10 + 11, height);
  SetWord(w.data(), 10 + 21, taps);
  SetWord(w.data(), 10 + 27, flags);
  if (taps < 32) SetWord(w.data(), 10 + 27 + taps, flags);
  std::uint32_t length = 0xDEAD, multiplier = 0xDEAD;
  const QelHwStatus status = Yat_Digital_ComputeCropLength(w.data(), withLength != 0 ? &length : nullptr, &multiplier);
  return std::to_string(status) + ' ' + std::to_string(length) + ' ' + std::to_string(multiplier);
}

// Chosen words of a standard video format ("std index words...") or of the
// window capabilities of camera 0's handle ("caps words...").
std::string Words(std::istringstream& in, bool standard) {
  std::array<std::uint8_t, YAT_VIDEO_FORMAT_SIZE> record{};
  const QelHwStatus status = standard ? QelHw_Acq_GetStdVideoFormat(nullptr, Number(in), record.data())
                                      : QelHw_Acq_GetAcqWindowCaps(HandleOf(0), record.data());
  std::string answer = std::to_string(status);
  std::string word;
  while (in >> word) {
    std::uint32_t value = 0;
    std::memcpy(&value, record.data() + 4 * std::stoul(word), sizeof value);
    answer += ' ' + std::to_string(value);
  }
  return answer;
}

std::string Strobe(std::uint32_t camera, std::uint32_t unit, std::uint32_t valueA) {
  std::array<std::uint8_t, YAT_STROBE_RECORD_SIZE> strobe{};
  SetWord(strobe.data(), 1, 1);
  SetWord(strobe.data(), 4, valueA);
  SetWord(strobe.data(), 5, valueA);
  SetWord(strobe.data(), 10, unit);
  return std::to_string(QelHw_Acq_SetStrobeTimer(HandleOf(camera), strobe.data()));
}

// A frame trigger released by software triggers, `frames` frames per trigger.
std::string FrameTrigger(std::uint32_t camera, std::uint32_t frames) {
  std::array<std::uint8_t, YAT_STRUCT_FRAME_TRIGGER_SIZE> trigger{};
  SetWord(trigger.data(), 0, YAT_STRUCT_FRAME_TRIGGER_SIZE);
  SetWord(trigger.data(), 2, 1);
  SetWord(trigger.data(), 16, frames);
  return std::to_string(QelHw_Acq_FrameTriggerEnable(HandleOf(camera), trigger.data()));
}

// The handles of the cameras named on the rest of the line.
std::vector<YatAcqHandle*> List(std::istringstream& in) {
  std::vector<YatAcqHandle*> list;
  std::string word;
  while (in >> word) list.push_back(word == "null" ? nullptr : HandleOf(std::stoul(word)));
  return list;
}

// Host buffers of one camera and what the driver keeps pointing at; they live
// until the process ends, as the driver keeps them locked.
struct Transfer : host_transfer::HostTransfer {
  std::vector<std::uint32_t> armed;  // the state bits that arm each buffer, as the driver first set them
};
Transfer* g_transfers[kCameras] = {};

// The buffer's state word where the driver mapped it; the board writes it too.
std::uint32_t* StateWord(Transfer* t, std::uint32_t b) { return reinterpret_cast<std::uint32_t*>(t->slots[b]); }
constexpr std::uint32_t kArmedBits = (1u << 31) | (1u << 24);

std::string Connect(std::uint32_t camera, std::uint32_t buffers, std::uint32_t width, std::uint32_t height) {
  if (camera >= kCameras || buffers == 0) return "bad";
  auto* t = new Transfer;
  g_transfers[camera] = t;
  const QelHwStatus status = host_transfer::Start(t, kBoard, camera, buffers, width, height);
  for (std::uint32_t b = 0; b < buffers && status == QELHW_OK; ++b)
    t->armed.push_back(std::atomic_ref<std::uint32_t>(*StateWord(t, b)).load() & kArmedBits);
  return std::to_string(status);
}

// Hands a buffer the application has read back to the driver, as its state
// word was when the transfer was connected.
std::string Rearm(std::uint32_t camera, std::uint32_t b) {
  Transfer* t = camera < kCameras ? g_transfers[camera] : nullptr;
  if (t == nullptr || b >= t->armed.size() || StateWord(t, b) == nullptr) return "none";
  std::atomic_ref<std::uint32_t>(*StateWord(t, b)).fetch_or(t->armed[b]);
  return "0";
}

std::string Image(std::uint32_t camera, std::uint32_t b) {
  const Transfer* t = camera < kCameras ? g_transfers[camera] : nullptr;
  if (t == nullptr || b >= t->memory.size()) return "none";
  return helper::Hex(t->memory[b].data(), t->memory[b].size());
}

std::string Message(std::uint32_t ms) { return host_transfer::NextMessage(kBoard, ms); }

// "event stamp" of the board's next channel message, waiting up to `ms`
// (stamp 1 when it carries a time stamp).
std::string ChannelMessage(std::uint32_t ms) {
  YatChannelMessage message{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (Yat_Event_GetMessage(kBoard, YAT_MSG_TYPE_CHANNEL, &message, sizeof message) != QELHW_OK) {
    std::uint64_t event = 0;
    if (Yat_Event_GetHandle(kBoard, YAT_MSG_TYPE_CHANNEL, &event) != QELHW_OK) return "noevent";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "timeout";
    if (plat::wait_for_object(event, static_cast<std::uint32_t>(left.count())) != plat::kWaitObject0) return "timeout";
  }
  std::ostringstream out;
  out << "0x" << std::hex << message.eventBit << std::dec << ' ' << (message.timeStamp != 0 ? 1 : 0);
  return out.str();
}

std::string RunList(const std::string& command, std::istringstream& in) {
  const std::uint32_t count = Number(in);
  std::uint32_t frames = 0;
  if (command == "nframesex") frames = Number(in);
  std::vector<YatAcqHandle*> list = List(in);
  YatAcqHandle** handles = list.empty() ? nullptr : list.data();
  if (command == "startex") return std::to_string(QelHw_Acq_AcquireVideoEx(handles, count));
  if (command == "nframesex") return std::to_string(QelHw_Acq_AcquireNFramesEx(handles, count, frames));
  if (command == "freezeex") return std::to_string(QelHw_Acq_FreezeVideoEx(handles, count));
  if (command == "abortex") return std::to_string(QelHw_Acq_AbortVideoEx(handles, count));
  return "unknown";
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "handle") {
    const std::uint32_t board = Number(in);
    return GetHandle(board, Number(in));
  }
  if (command == "info") return Info(Number(in));
  if (command == "release") return std::to_string(QelHw_Acq_ReleaseHandle(HandleOf(Number(in))));
  if (command == "window") {
    const std::uint32_t camera = Number(in), width = Number(in), height = Number(in);
    const auto window = Window(width, height);
    return std::to_string(QelHw_Acq_SetAcqWindow(HandleOf(camera), window.data(), kFormatMono8));
  }
  if (command == "format") {
    const std::uint32_t camera = Number(in), type = Number(in);
    return SetFormat(camera, type, Number(in));
  }
  if (command == "croplen") return CropLength(in);
  if (command == "ports") {
    std::array<std::uint8_t, 256> image{};
    const std::uint32_t model = Number(in), modelNumber = Number(in);
    image[38] = static_cast<std::uint8_t>(model & 0xFF);
    image[39] = static_cast<std::uint8_t>(model >> 8);
    std::uint32_t count = 0xDEAD, second = 0xDEAD;
    const QelHwStatus status = Yat_Digital_GetSerialPortCount(image.data(), &count, &second, modelNumber);
    return std::to_string(status) + ' ' + std::to_string(count) + ' ' + std::to_string(second);
  }
  if (command == "std") return Words(in, true);
  if (command == "caps") return Words(in, false);
  if (command == "grabstatus") {
    std::uint32_t value = Number(in);
    const QelHwStatus status = QelHw_Acq_GetGrabStatus(HandleOf(0), &value);
    return std::to_string(status) + ' ' + std::to_string(value);
  }
  if (command == "detect") {
    std::uint32_t format[YAT_VIDEO_FORMAT_WORDS] = {};
    const QelHwStatus status = Yat_Digital_DetectVideoFormat(HandleOf(Number(in)), format);
    return std::to_string(status) + ' ' + std::to_string(format[6]) + ' ' + std::to_string(format[11]);
  }
  if (command == "strobe") {
    const std::uint32_t camera = Number(in), unit = Number(in);
    return Strobe(camera, unit, Number(in));
  }
  if (command == "start") return std::to_string(QelHw_Acq_AcquireVideo(HandleOf(Number(in))));
  if (command == "nframes") {
    const std::uint32_t camera = Number(in);
    return std::to_string(QelHw_Acq_AcquireNFrames(HandleOf(camera), Number(in)));
  }
  if (command == "freeze") return std::to_string(QelHw_Acq_FreezeVideo(HandleOf(Number(in))));
  if (command == "abort") return std::to_string(QelHw_Acq_AbortVideo(HandleOf(Number(in))));
  if (command == "startex" || command == "nframesex" || command == "freezeex" || command == "abortex")
    return RunList(command, in);
  if (command == "ftrigger") {
    const std::uint32_t camera = Number(in);
    return FrameTrigger(camera, Number(in));
  }
  if (command == "swtrigger") return std::to_string(QelHw_Acq_SoftwareTrigger(HandleOf(Number(in)), 0));
  if (command == "connect") {
    const std::uint32_t camera = Number(in), buffers = Number(in), width = Number(in);
    return Connect(camera, buffers, width, Number(in));
  }
  if (command == "image") {
    const std::uint32_t camera = Number(in);
    return Image(camera, Number(in));
  }
  if (command == "rearm") {
    const std::uint32_t camera = Number(in);
    return Rearm(camera, Number(in));
  }
  if (command == "message") return Message(Number(in));
  if (command == "route") {
    const std::uint32_t camera = Number(in);
    if (!Yat_Event_RegisterMsg(kBoard, YAT_MSG_TYPE_CHANNEL)) return "unregistered";
    return std::to_string(Yat_Event_Route(kBoard, camera, 1, Number(in)));
  }
  if (command == "chanmsg") return ChannelMessage(Number(in));
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run); }
