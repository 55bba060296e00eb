// Grabs a few frames from every camera of every board through the board
// library and writes each frame as a PGM image a person can open.
//
// The road of a grab: an acquisition handle for the camera, the camera's video
// format (which also programs the pixel packer), a transfer from the board's
// memory into host buffers, an N-frame start, then the transfer messages that
// say which host buffer holds a frame.
//
// Usage: pardow-grab [output folder] [frames per camera]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatAcq.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransfer.h"
#include "driver/user/samples/SampleOpen.h"
#include "platform/win/objects.h"

namespace {

constexpr std::uint32_t kStandardFormat = 0;  // 640 x 480, 8 bits, one tap
constexpr std::uint32_t kMono8 = 1;

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// What the driver points at while the transfer lives: the frame's place in
// the board's memory, its window, and one host buffer per frame.
struct Grab {
  std::uint32_t width = 0, height = 0;
  YatInternalBuffer onboard{};
  YatImageWindow window{};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  std::vector<std::vector<std::uint8_t>> buffers;
  std::vector<YatHostBufferEntry> entries;
  std::vector<std::uint64_t> states;
  YatHostBufferList hosts{};
  YatTransferDesc desc{};
  YatTransferHandle transfer{};
};

QelHwStatus Connect(std::uint32_t board, std::uint32_t camera, std::uint32_t frames, Grab& g) {
  const std::uint32_t bytes = g.width * g.height;
  QelHwStatus status = Yat_InternalBuffer_Create(board, 0, 0, bytes, &g.onboard);
  if (status != QELHW_OK) return status;
  g.window = {0, 0, 0, g.width, g.height, 0, g.width};
  g.image = {YAT_LOCAL_IMAGE_SIZE, 0, g.width, g.height, kMono8, 0, 0, g.width, g.height, g.onboard.onboardAddress,
             0, 1, Address(&g.window), 1, Address(&g.window), 0};
  g.images.images = Address(&g.image);
  g.buffers.assign(frames, std::vector<std::uint8_t>(bytes));
  g.entries.assign(frames, YatHostBufferEntry{});
  g.states.assign(frames, 0);
  for (std::uint32_t b = 0; b < frames; ++b) {
    YatHostBufferEntry& e = g.entries[b];
    e.geometry = {g.width, g.height, kMono8, 0, 0, g.width, g.height};
    e.stateSlotA = Address(&g.states[b]);
    e.lock.user_address = Address(g.buffers[b].data());
    e.lock.buffer_size = bytes;
  }
  g.hosts = {0, 1, frames, Address(g.entries.data()), 0};
  g.desc.localImageList = Address(&g.images);
  g.desc.hostBufferList = Address(&g.hosts);
  g.desc.taps = 1;
  g.desc.lastIndex = 1;
  g.desc.camera = camera;
  g.desc.routeWord = 1;
  g.desc.linesFactor = 1;
  status = Yat_Transfer_Init(board, &g.desc, &g.transfer, 0);
  return status == QELHW_OK ? Yat_DMA_StartAutoTransfer(&g.transfer) : status;
}

// Waits for the end-of-frame message of each frame; answers how many came.
std::uint32_t AwaitFrames(std::uint32_t board, std::uint32_t frames) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::uint32_t ended = 0;
  std::uint64_t event = 0;
  if (Yat_Transfer_GetEventHandle(board, &event) != QELHW_OK) return 0;
  while (ended < frames && std::chrono::steady_clock::now() < deadline) {
    YatTransferMessage message{};
    if (Yat_Transfer_GetMessage(board, reinterpret_cast<std::uint8_t*>(&message), sizeof message) == QELHW_OK) {
      if ((message.word1 >> 13 & 1) != 0) ++ended;
      continue;
    }
    plat::wait_for_object(event, 100);
  }
  return ended;
}

bool WriteImage(const std::string& path, const Grab& g, std::uint32_t frame) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fprintf(file, "P5\n%u %u\n255\n", g.width, g.height);
  const bool written = std::fwrite(g.buffers[frame].data(), 1, g.buffers[frame].size(), file) == g.buffers[frame].size();
  return std::fclose(file) == 0 && written;
}

// One camera: answers false when something failed (the camera's absence is not a failure).
bool GrabCamera(std::uint32_t board, std::uint32_t camera, std::uint32_t frames, const std::string& folder) {
  YatAcqHandle* handle = nullptr;
  if (QelHw_Acq_GetHandle(board, camera, &handle) != QELHW_OK) return true;  // no such camera input
  std::uint32_t format[YAT_VIDEO_FORMAT_WORDS] = {};
  QelHwStatus status = QelHw_Acq_GetStdVideoFormat(handle, kStandardFormat, format);
  if (status == QELHW_OK) status = QelHw_Acq_SetVideoFormat(handle, format);
  Grab g;
  g.width = format[6];
  g.height = format[11];
  if (status == QELHW_OK) status = Connect(board, camera, frames, g);
  if (status == QELHW_OK) status = QelHw_Acq_AcquireNFrames(handle, frames);
  const std::uint32_t ended = status == QELHW_OK ? AwaitFrames(board, frames) : 0;
  QelHw_Acq_AbortVideo(handle);
  std::printf("board %u camera %u: %ux%u, %u of %u frames (status %d)\n", board, camera, g.width, g.height, ended,
              frames, status);
  for (std::uint32_t f = 0; f < ended; ++f) {
    const std::string path = folder + "/board" + std::to_string(board) + "-camera" + std::to_string(camera) +
                             "-frame" + std::to_string(f) + ".pgm";
    if (WriteImage(path, g, f)) std::printf("  wrote %s\n", path.c_str());
  }
  Yat_Transfer_ReleaseHandle(&g.transfer);
  Yat_InternalBuffer_Free(&g.onboard);
  QelHw_Acq_ReleaseHandle(handle);
  return status == QELHW_OK && ended == frames;
}

}  // namespace

constexpr const char* kUsage =
    "usage: pardow-grab [output folder] [frames per camera]\n"
    "Grabs frames (3 unless told, 1 to 64) from every camera input of every board through\n"
    "the board library and writes each as a PGM image in the folder (default: here).\n"
    "Needs PLAT_MACHINE (the emulated machine), a running kernel-host on it and\n"
    "YATFOLVA4XDIR (the driver folder with Yat_Tramond-CL_RZ6_Config.ini).\n"
    "Exit code 0 when every camera gave every frame, 1 otherwise, 2 for bad arguments.\n";

int main(int argc, char** argv) {
  if (pardow_sample::AsksForHelp(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const std::string folder = argc > 1 ? argv[1] : ".";
  char* end = nullptr;
  const std::uint32_t frames = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], &end, 10)) : 3;
  if (argc > 3 || frames == 0 || frames > 64 || (end != nullptr && *end != '\0')) {
    std::fprintf(stderr, "frames per camera: 1 to 64\n%s", kUsage);
    return 2;
  }
  const QelHwStatus opened = QelHw_Open();
  std::printf("QelHw_Open: %d (%s)\n", opened, QelHw_GetErrorName(opened));
  if (opened != QELHW_OK) {
    pardow_sample::ReportOpenFailure("pardow-grab", opened);
    return 1;
  }
  std::uint32_t boards = 0;
  Yat_Man_GetNbBoard(&boards);
  bool ok = boards > 0;
  for (std::uint32_t board = 0; board < boards; ++board)
    for (std::uint32_t camera = 0; camera < 2; ++camera) ok = GrabCamera(board, camera, frames, folder) && ok;
  QelHw_Close();
  return ok ? 0 : 1;
}
