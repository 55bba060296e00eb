// The grab controller's logical registers: where each one lives on the board,
// the acquisition handle's three register callbacks, and the access the
// routines use through them.
#include <array>
#include <cstddef>

#include "driver/user/GrabCtrl.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kTriggerWordRegister = 4132;
constexpr std::uint32_t kTriggerCountMask = 0x000000FF;
constexpr std::uint32_t kTriggerFilterMask = 0xFFFF0000;

// Camera registers by logical index; 25 is the board's register, not a camera's.
constexpr std::array<std::uint32_t, YAT_GC_LOGICAL_REGISTERS> kCameraRegister = {
    4096, 4100, 4104, 4108, 4116, 4120, 4124, 4128, 4112, 4136, 4140, 4144, 4148, 4152, 4156, 4160,
    4164, 4168, 4172, 4176, 4180, 4184, 4192, 4188, 4132, YAT_GC_MULTI_CAMERA_REGISTER, 4480, 4484, 4488, 4492,
    4496, 4132};

// The owner as a handle that names a camera of a board; null otherwise.
const YatAcqHandle* HandleOf(void* owner) {
  const auto* handle = static_cast<const YatAcqHandle*>(owner);
  if (handle == nullptr || handle->board >= YAT_MAX_BOARD || handle->camera >= YAT_MAX_CAMERA_PER_BOARD)
    return nullptr;
  return handle;
}

QelHwStatus IndexInvalid(const char* routine, std::uint32_t logical) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, reg %d, %s PARAMETER INVALID", kPardowLabel,
            static_cast<int>(logical), routine);
  return QELHW_ERROR_PARAMETER_INVALID;
}

}  // namespace

QelHwStatus GrabCtrl_ReadDataReg(void* owner, std::uint32_t logical, std::uint32_t* value) {
  if (logical >= YAT_GC_LOGICAL_REGISTERS) return IndexInvalid("GrabCtrl_ReadDataReg", logical);
  const YatAcqHandle* handle = HandleOf(owner);
  if (handle == nullptr || value == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (logical == YAT_GC_REG_MULTI_CAMERA) return Yat_ReadDataReg(handle->board, YAT_GC_MULTI_CAMERA_REGISTER, value);
  return Yat_FPGA_ReadDataReg(handle->board, handle->camera, kCameraRegister[logical], value);
}

QelHwStatus GrabCtrl_WriteDataReg(void* owner, std::uint32_t logical, std::uint32_t value) {
  if (logical >= YAT_GC_LOGICAL_REGISTERS) return IndexInvalid("GrabCtrl_WriteDataReg", logical);
  const YatAcqHandle* handle = HandleOf(owner);
  if (handle == nullptr) return QELHW_ERROR_ARG_INVALID;
  switch (logical) {
    case YAT_GC_REG_TRIGGER_COUNT:
      // A trigger count of 0 would never release a group.
      if (value == 0) value = 1;
      return Yat_FPGA_SetBitReg(handle->board, handle->camera, kTriggerWordRegister, value & kTriggerCountMask,
                                kTriggerCountMask);
    case YAT_GC_REG_TRIGGER_FILTER:
      return Yat_FPGA_SetBitReg(handle->board, handle->camera, kTriggerWordRegister, (value & 0xFFFF) << 16,
                                kTriggerFilterMask);
    case YAT_GC_REG_MULTI_CAMERA:
      return Yat_WriteDataReg(handle->board, YAT_GC_MULTI_CAMERA_REGISTER, value);
    default:
      return Yat_FPGA_WriteDataReg(handle->board, handle->camera, kCameraRegister[logical], value);
  }
}

QelHwStatus GrabCtrl_SetBitReg(void* owner, std::uint32_t logical, std::uint32_t value, std::uint32_t mask) {
  if (logical >= YAT_GC_LOGICAL_REGISTERS) return QELHW_ERROR_PARAMETER_INVALID;
  const YatAcqHandle* handle = HandleOf(owner);
  if (handle == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (logical == YAT_GC_REG_MULTI_CAMERA)
    return Yat_SetBitReg(handle->board, YAT_GC_MULTI_CAMERA_REGISTER, value, mask);
  return Yat_FPGA_SetBitReg(handle->board, handle->camera, kCameraRegister[logical], value, mask);
}

YatAcqHandle* GrabCtrlOwner(YatGrabCtrlContext* context) {
  // Computed from where the context sits, never read from the shared record.
  auto* base = reinterpret_cast<std::byte*>(context) - offsetof(YatAcqHandle, grabCtrl);
  return reinterpret_cast<YatAcqHandle*>(base);
}

bool GrabCtrlUsable(const YatGrabCtrlContext* context) {
  return context != nullptr && context->read != nullptr && context->write != nullptr;
}

QelHwStatus GrabCtrlRead(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t* value) {
  return GrabCtrl_ReadDataReg(GrabCtrlOwner(context), logical, value);
}

QelHwStatus GrabCtrlWrite(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t value) {
  return GrabCtrl_WriteDataReg(GrabCtrlOwner(context), logical, value);
}

QelHwStatus GrabCtrlSetBits(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t value,
                            std::uint32_t mask) {
  return GrabCtrl_SetBitReg(GrabCtrlOwner(context), logical, value, mask);
}

QelHwStatus GrabCtrlUpdate(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t mask,
                           std::uint32_t bits) {
  std::uint32_t value = 0;
  const QelHwStatus status = GrabCtrlRead(context, logical, &value);
  if (status != QELHW_OK) return status;
  return GrabCtrlWrite(context, logical, (value & ~mask) | (bits & mask));
}

QelHwStatus GrabCtrl_IsGrabActive(YatGrabCtrlContext* context, std::uint32_t* active) {
  if (!GrabCtrlUsable(context) || active == nullptr) return QELHW_ERROR_ARG_INVALID;
  // The board offers no grab-active line the library trusts: reported idle.
  *active = 0;
  return QELHW_OK;
}

QelHwStatus GrabCtrlBusyCheck(YatGrabCtrlContext* context) {
  std::uint32_t active = 0;
  const QelHwStatus status = GrabCtrl_IsGrabActive(context, &active);
  if (status != QELHW_OK) return status;
  return active != 0 ? QELHW_ERROR_TRANSFER_ACTIVE : QELHW_OK;
}
