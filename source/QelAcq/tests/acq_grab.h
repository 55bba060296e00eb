// Frames of a device's camera grabbed the way the main job grabs them today:
// through the board library's own exports (driver/user/tests/host_transfer.h),
// on the device's board-library acquisition handle. One 8-bit transfer per
// camera of a board; its buffers live until the process ends.
#pragma once

#include <cstdint>
#include <string>

struct YatAcqHandle;

// Host buffers of `width` x `height` bytes taking the camera's frames; answers the board status.
std::int32_t AcqGrabConnect(YatAcqHandle* hw, std::uint32_t buffers, std::uint32_t width, std::uint32_t height);
// A host buffer's bytes as hex ("none" when there is no such buffer).
std::string AcqGrabImage(std::uint32_t camera, std::uint32_t buffer);
