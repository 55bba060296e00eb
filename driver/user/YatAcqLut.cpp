// The input look-up tables of a camera input, taken through its handle.
#include "driver/user/FrontEnd.h"
#include "driver/user/YatAcqInternal.h"

namespace {

constexpr std::uint32_t kVideoTypeColour = 6;

// The LVDS board's colour LUT planes sit in another order than the colour planes.
std::uint32_t LvdsColourPlane(std::uint32_t plane) {
  switch (plane) {
    case 1: return 2;
    case 2: return 3;
    case 3: return 1;
    default: return plane;
  }
}

}  // namespace

PARDOW_API std::uint8_t Yat_Digital_IsLutAvailable(YatAcqHandle* handle, std::uint32_t bits) {
  if (!YatAcq_IsValid(handle)) return 0;
  std::uint32_t type = 0, maxValue = 0;
  if (Yat_FPGA_GetLutType(handle->board, handle->camera, &type, &maxValue) != QELHW_OK) return 0;
  const bool narrow = (type == 1 || type == 3) && (bits == 8 || bits == 10);
  const bool wide = (type == 2 || type == 3) && bits == 12;
  return narrow || wide ? 1 : 0;
}

PARDOW_API QelHwStatus Yat_Digital_EnableLut(YatAcqHandle* handle, std::uint32_t, std::uint32_t, std::uint32_t,
                                             std::uint32_t, std::uint8_t enable) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_EnableLut(handle, enable);
}

PARDOW_API QelHwStatus Yat_Digital_WriteLut(YatAcqHandle* handle, std::uint32_t a, std::uint32_t plane,
                                            std::uint32_t b, std::uint32_t bits, const void* data) {
  if (!YatAcq_IsValid(handle) || data == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (handle->type == YAT_ACQ_TAG_LVDS_BOARD && YatAcq_FormatWord(handle, YAT_VF_VIDEO_TYPE) == kVideoTypeColour &&
      YatAcq_FormatWord(handle, YAT_VF_BITS) > 8)
    plane = LvdsColourPlane(plane);
  return Yat_FPGA_CL_WriteLut(handle->board, handle->camera, a, plane, b, bits, data);
}

PARDOW_API QelHwStatus QelHw_Acq_WriteLut(YatAcqHandle* handle, std::uint32_t p1, std::uint32_t p2, std::uint32_t p3,
                                          std::uint32_t p4, const void* data) {
  if (!YatAcq_IsValid(handle) || data == nullptr) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_CL_WriteLut(handle->board, handle->camera, p3, p1, p2, p4, data);
}

PARDOW_API QelHwStatus Yat_Digital_SetLutFormat(YatAcqHandle* handle, std::uint32_t format) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_SetLutFormat(handle, YatAcq_FormatWord(handle, YAT_VF_BITS), format, handle->pixelFormat);
}

PARDOW_API QelHwStatus Yat_Digital_GetLutSource(YatAcqHandle* handle, std::int32_t, std::int32_t, std::int32_t,
                                                void* out) {
  return YatAcq_IsValid(handle) && out != nullptr ? QELHW_OK : QELHW_ERROR_ARG_INVALID;
}
