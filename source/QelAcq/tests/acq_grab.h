// Frames of a device's camera grabbed the way the main job grabs them today:
// through the board library's own exports (an on-board buffer, a transfer
// into host buffers, the transfer messages), on the device's board-library
// acquisition handle. One 8-bit transfer per camera; its buffers live until
// the process ends, since the driver keeps them locked meanwhile.
#pragma once

#include <cstdint>
#include <string>

struct YatAcqHandle;

// Host buffers of `width` x `height` bytes taking the camera's frames; answers the board status.
std::int32_t AcqGrabConnect(YatAcqHandle* hw, std::uint32_t buffers, std::uint32_t width, std::uint32_t height);
// "<buffer> <start> <end>" of the next transfer message, or "timeout" after `ms`.
std::string AcqGrabMessage(std::uint32_t board, std::uint32_t ms);
// A host buffer's bytes as hex ("none" when there is no such buffer).
std::string AcqGrabImage(std::uint32_t camera, std::uint32_t buffer);
