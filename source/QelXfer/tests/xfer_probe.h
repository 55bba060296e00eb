// What a test helper can see of the machine beside its requests: the
// largest block the on-board allocator still gives, the transfer objects the
// driver holds for this process with the stages each has, the connection
// matrix.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/YatTransferRecords.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatInternalBuffer.h"
#include "platform/win/device.h"
#include "source/QelXfer/XferConnMatrix.h"
#include "source/QelXfer/XferShared.h"

namespace xfer_probe {

inline bool Fits(std::uint32_t board, std::uint32_t region, std::uint32_t kib) {
  YatInternalBuffer record{};
  if (kib == 0) return true;
  if (Yat_InternalBuffer_Create(board, region, 0, kib * 1024, &record) != QELHW_OK) return false;
  Yat_InternalBuffer_Free(&record);
  return true;
}

// The largest whole KiB block, by halving the range.
inline std::string Free(std::uint32_t board, std::uint32_t region) {
  std::uint32_t low = 0, high = 4u << 20;
  while (low < high) {
    const std::uint32_t middle = low + (high - low + 1) / 2;
    if (Fits(board, region, middle)) low = middle;
    else high = middle - 1;
  }
  return "free " + std::to_string(low);
}

// Whether the driver has the stage of a transfer object (its descriptors can be mapped).
inline bool HasChain(plat::Handle device, std::uint32_t board, std::uint64_t handle, std::uint32_t part,
                     std::uint32_t index) {
  YatDbgMapDescRecord in{{YAT_IOC_TARGET_BOARD, board}, handle, part, 0, index, 0};
  YatDbgMapDescOut out{};
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_DBG_MAP_DESC, &in, sizeof in, &out, sizeof out, &bytes);
  if (out.status.status != 0 || out.userAddress == 0) return false;
  YatDbgUnmapDescRecord unmap{{YAT_IOC_TARGET_BOARD, board}, out.userAddress};
  YatIocStatus done{};
  plat::device_io_control(device, YAT_IOCTRL_DBG_UNMAP_DESC, &unmap, sizeof unmap, &done, sizeof done, &bytes);
  return true;
}

// A stage's buffer list, or the descriptor chain of its first element.
inline bool HasStage(plat::Handle device, std::uint32_t board, std::uint64_t handle, std::uint32_t part) {
  return HasChain(device, board, handle, part, 0xFFFFFFFF) || HasChain(device, board, handle, part, 0);
}

inline std::string Stages(std::uint32_t board) {
  const plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  if (device == plat::kNullHandle) return "stages nodevice";
  std::uint8_t list[4 + 8 * 64] = {};
  YatIocHeader in{YAT_IOC_TARGET_BOARD, board};
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_DBG_GET_XFER_HANDLES, &in, sizeof in, list, sizeof list, &bytes);
  std::uint32_t count = 0, parts[3] = {};
  for (std::size_t at = 4; at + 8 <= sizeof list; at += 8) {
    std::uint64_t handle = 0;
    std::memcpy(&handle, list + at, sizeof handle);
    if (handle == 0) continue;
    ++count;
    for (std::uint32_t part = 0; part < 3; ++part)
      if (HasStage(device, board, handle, part)) ++parts[part];
  }
  plat::close_device(device);
  return "stages " + std::to_string(count) + " " + std::to_string(parts[0]) + " " + std::to_string(parts[1]) + " " +
         std::to_string(parts[2]);
}

// The board's 12 connection-matrix counters.
inline std::string Matrix(std::uint32_t board) {
  std::string line = "matrix";
  for (std::uint32_t s = 0; s < kXferMatrixSourceKinds; ++s)
    for (std::uint32_t d = 0; d < kXferMatrixDestinationKinds; ++d)
      line += " " + std::to_string(XferMatrixValue(board, s, d));
  return line;
}

}  // namespace xfer_probe
