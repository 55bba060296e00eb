// The main job through the SDK: a client that opens "QelApi.dll", and for
// every acquisition device of every board (devices 0 and 1) opens it, makes host
// buffers, grabs frames into them with a transfer and saves each frame as a
// BMP file, printing what it did. Everything goes through SDK requests to
// the boards' servers.
//
//   quillet-grab --register        registers the device-control module with
//                                  the SDK, as the installer does
//   quillet-grab <folder> [frames] the grab (3 frames per camera by default)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win/registry.h"
#include "source/samples/sdk_requests.h"

using namespace qelapi;
using namespace sdk_requests;

namespace {

constexpr std::uint32_t kMono8 = 0x1010800;
constexpr std::uint32_t kScatterGather = 0x20;
constexpr std::uint32_t kDevicesPerBoard = 2;

struct Camera {
  const QelServerHandle& server;
  std::uint32_t board;
  std::uint32_t device;
  Bytes acquisition;
  std::vector<Bytes> buffers;
  Bytes transfer;
};

// A transfer from the device into its buffers, connected.
std::uint32_t Connect(Camera& c) {
  Bytes request = ServerHandle(c.server.address);
  Put(request, c.acquisition.data(), 32);
  Put(request, c.buffers[0].data(), 32);
  request.resize(request.size() + 20);
  const Answer made = Send(c.server, 16000, request);
  if (made.status != 0) return made.status;
  c.transfer = made.Handle();
  for (std::size_t n = 1; n < c.buffers.size(); ++n) {
    Bytes pair = c.transfer;
    Put(pair, c.acquisition.data(), 32);
    Put(pair, c.buffers[n].data(), 32);
    pair.resize(pair.size() + 20);
    if (const std::uint32_t status = Send(c.server, 16005, pair).status; status != 0) return status;
  }
  return Send(c.server, 16002, c.transfer).status;
}

std::uint32_t GrabAndSave(Camera& c, std::uint32_t frames, const std::string& folder) {
  const Answer opened = Send(c.server, 4001, With(ServerHandle(c.server.address), {c.device}));
  if (opened.status != 0) return opened.status;
  c.acquisition = opened.Handle();
  const std::uint32_t width = Send(c.server, 4005, With(c.acquisition, {0xA0004})).Value();
  const std::uint32_t height = Send(c.server, 4005, With(c.acquisition, {0x8140004})).Value();
  for (std::uint32_t n = 0; n < frames; ++n) {
    const Answer made = Send(c.server, 9001, With(ServerHandle(kHostServer), {width, height, kMono8, kScatterGather}));
    if (made.status != 0) return made.status;
    c.buffers.push_back(made.Handle());
  }
  std::uint32_t status = Connect(c);
  if (status == 0) status = Send(c.server, 16009, With(c.transfer, {frames})).status;
  if (status == 0) status = Send(c.server, 16012, With(c.transfer, {30000})).status;
  std::printf("board %u device %u: %u frames of %ux%u grabbed (status 0x%x)\n", c.board, c.device, frames, width,
              height, status);
  for (std::uint32_t n = 0; status == 0 && n < frames; ++n) {
    const std::string file = folder + "/board" + std::to_string(c.board) + "-device" + std::to_string(c.device) +
                             "-frame" + std::to_string(n) + ".bmp";
    Bytes request = With(c.buffers[n], {0});
    Put(request, file.c_str(), file.size() + 1);
    status = Send(c.server, 9025, request).status;
    std::printf("  %s (status 0x%x)\n", file.c_str(), status);
  }
  return status;
}

void Release(Camera& c) {
  if (!c.transfer.empty()) Send(c.server, 16001, c.transfer);
  for (const Bytes& buffer : c.buffers) Send(c.server, 9000, buffer);
  if (!c.acquisition.empty()) Send(c.server, 4002, c.acquisition);
}

int Register() {
  plat::RegistryKey* key = nullptr;
  if (plat::reg_create_key(plat::RegistryRoot::kLocalMachine, kModulesKey, &key) != 0) return 1;
  const char module[] = "Ormel.VKM";
  plat::reg_set_value(key, "Tramond-CL_RZ6", plat::kRegSz, module, sizeof module);
  plat::reg_close_key(key);
  std::printf("the SDK loads \"%s\" for the Tramond-CL_RZ6 boards\n", module);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--register") == 0) return Register();
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet-grab --register | quillet-grab <folder> [frames]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::uint32_t frames = argc >= 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0)) : 3;
  SdkModule() = plat::load_library(kLibraryName);
  if (SdkModule() == nullptr || frames == 0) return 1;
  const std::uint32_t opened = Sdk<QelManOpenFn>("QelManOpen")();
  std::printf("SDK opened (status 0x%x)\n", opened);
  if (opened != 0) return 1;
  int failures = 0;
  for (std::uint32_t board = 0;; ++board) {
    QelServerHandle server{};
    const std::string name = "Tramond-CL_RZ6_" + std::to_string(board + 1);
    if (Sdk<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server) != kSdkOk) break;
    std::printf("%s: server 0x%08x\n", name.c_str(), server.address);
    for (std::uint32_t device = 0; device < kDevicesPerBoard; ++device) {
      Camera camera{server, board, device, {}, {}, {}};
      const std::uint32_t status = GrabAndSave(camera, frames, folder);
      if (camera.acquisition.empty()) {
        std::printf("board %u device %u: none (status 0x%x)\n", board, device, status);
      } else if (status != 0) {
        ++failures;
      }
      Release(camera);
    }
  }
  Sdk<QelManCloseFn>("QelManClose")();
  return failures == 0 ? 0 : 1;
}
