// The grab sample, as the main job runs it: every camera of a "Full" and a
// "Dual" board leaves its frames as images that hold the camera's pattern.
#include <cstdint>
#include <string>

#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/dma_frames.h"

namespace pardow_test {
namespace {

class GrabSample : public PardowMachine {};

// The pixels of a PGM file as the sample writes it ("P5", width, height, 255).
std::string Pixels(const std::string& file, std::uint32_t width, std::uint32_t height) {
  const std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  const std::string content = plat::testing::read_file(file);
  if (content.compare(0, header.size(), header) != 0) return {};
  return content.substr(header.size());
}

bool ShowsThePattern(const std::string& pixels, int board, std::uint32_t camera, std::uint32_t frame) {
  constexpr std::uint32_t kWidth = 640, kHeight = 480;
  if (pixels.size() != kWidth * kHeight) return false;
  for (std::uint32_t y = 0; y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x)
      if (static_cast<std::uint8_t>(pixels[y * kWidth + x]) != plat::board::camera_pattern(board, camera, frame, x, y))
        return false;
  return true;
}

TEST_F(GrabSample, EveryCameraLeavesItsFramesAsImages) {
  start_host({"FolvantX4Full", "FolvantX4Dual"});
  const std::string folder = machine_.path("images");
  std::filesystem::create_directories(folder);
  ChildProcess sample("pardow-grab", {folder, "2"});
  EXPECT_EQ(sample.wait(120s), 0);
  struct Camera {
    int board;
    std::uint32_t camera;
  };
  for (const Camera& c : {Camera{0, 0}, Camera{1, 0}, Camera{1, 1}})
    for (std::uint32_t frame = 0; frame < 2; ++frame) {
      const std::string file = folder + "/board" + std::to_string(c.board) + "-camera" + std::to_string(c.camera) +
                               "-frame" + std::to_string(frame) + ".pgm";
      EXPECT_TRUE(ShowsThePattern(Pixels(file, 640, 480), c.board, c.camera, frame)) << file;
    }
  // The "Full" board has one camera input only.
  EXPECT_FALSE(std::filesystem::exists(folder + "/board0-camera1-frame0.pgm"));
}

}  // namespace
}  // namespace pardow_test
