// Front-end settings made through an acquisition handle: the defaults of a
// new handle, the acquisition control word, the tap map and the triggers.
#include <array>
#include <cstring>

#include "driver/user/FrontEnd.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kDataValid = 0x1;
constexpr std::uint32_t kAcquireModeBits = (1u << 1) | (1u << 20);
constexpr std::uint32_t kAcqFieldShift = 4;
constexpr std::uint32_t kAcqFieldMask = 0xFFFFu << kAcqFieldShift;
constexpr std::uint32_t kTriggerKindMask = 0xC;
constexpr std::uint32_t kTriggerPolarity = 1u << 21;
constexpr std::uint32_t kDelayBaseShift = 22;
constexpr std::uint32_t kDelayBaseMask = 3u << kDelayBaseShift;
constexpr std::uint32_t kTopByte = 0xFF000000;
constexpr std::uint32_t kDefaultAcqControl = 0x14;
constexpr std::uint32_t kLevelMode = 1u << 9;
constexpr std::uint32_t kFreeRun = 1u << 16;
constexpr std::uint32_t kLutEntries = 4096;
constexpr std::uint32_t kMaxDelayTime = 3600000000u;

std::uint32_t Word(const void* record, std::uint32_t index) {
  std::uint32_t value = 0;
  std::memcpy(&value, static_cast<const std::uint8_t*>(record) + 4 * index, sizeof value);
  return value;
}

std::uint32_t Bit(bool on, std::uint32_t bit) { return on ? bit : 0; }

QelHwStatus Read(const YatAcqHandle* h, std::uint32_t reg, std::uint32_t* value) {
  return Yat_FPGA_ReadDataReg(h->board, h->camera, reg, value);
}

QelHwStatus Write(const YatAcqHandle* h, std::uint32_t reg, std::uint32_t value) {
  return Yat_FPGA_WriteDataReg(h->board, h->camera, reg, value);
}

// The delay fields of the acquisition control word and the lines word.
QelHwStatus ApplyDelay(const void* record, std::uint32_t* control, std::uint32_t* lines) {
  *control &= ~(kTopByte | kDelayBaseMask);
  *lines &= ~kTopByte;
  if (Word(record, YAT_FT_WORD_DELAY_ENABLE) == 0) return QELHW_OK;
  static constexpr std::uint32_t kBase[5] = {0, 1, 3, 0, 0};
  const std::uint32_t unit = Word(record, YAT_FT_WORD_DELAY_UNIT);
  std::uint32_t value = Word(record, YAT_FT_WORD_DELAY_VALUE);
  std::uint32_t base = unit < 5 ? kBase[unit] : 0;
  if (unit == 1) {
    if (value > kMaxDelayTime) return QELHW_ERROR_ARG_INVALID;
    if (value > 65535000) { base = 0; value /= 100000; }
    else if (value > 65535) { base = 2; value /= 1000; }
  } else if (value > 65535) {
    return QELHW_ERROR_ARG_INVALID;
  }
  *control |= (base << kDelayBaseShift) | ((value & 0xFF) << 24);
  *lines |= ((value >> 8) & 0xFF) << 24;
  return QELHW_OK;
}

QelHwStatus WriteIfChanged(const YatAcqHandle* h, std::uint32_t reg, std::uint32_t before, std::uint32_t after) {
  return before == after ? QELHW_OK : Write(h, reg, after);
}

std::uint32_t Selector(std::uint32_t kind, std::uint32_t camera) {
  switch (kind) {
    case 5: return 8;
    case 7: return 1;
    case 8: return 0;
    case 9: return 16;
    case 11: return 6;
    case 12: return camera + 4;
    default: return 7;
  }
}

QelHwStatus PrepareAcquire(YatAcqHandle* handle, std::uint32_t field) {
  const QelHwStatus status = YatFeRefuseWhileGrabbing(handle);
  if (status != QELHW_OK) return status;
  return YatFeUpdate(handle->board, handle->camera, YAT_FE_REG_ACQ_CONTROL, field << kAcqFieldShift, kAcqFieldMask);
}

// Loads an identity table into each plane of the camera's input LUT.
QelHwStatus LoadIdentityLuts(const YatAcqHandle* handle) {
  if (handle->camera >= 2) {
    if (Yat_GetDebugLevel() != 0)
      LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s: Yat_FPGA_DefaultValues: No LUT for camera=%d", kPardowLabel,
                static_cast<int>(handle->camera));
    return QELHW_OK;
  }
  std::array<std::uint16_t, kLutEntries> identity{};
  for (std::uint32_t i = 0; i < kLutEntries; ++i) identity[i] = static_cast<std::uint16_t>(i);
  for (std::uint32_t plane = 0; plane < 3; ++plane) {
    std::uint32_t type = 0, maxValue = 0;
    if (Yat_FPGA_GetLutType(handle->board, handle->camera, &type, &maxValue) != QELHW_OK || type == 0 ||
        maxValue == 0)
      continue;
    const QelHwStatus status = Yat_FPGA_CL_WriteLut(handle->board, handle->camera, 0, 5, plane, 8, identity.data());
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

// Routing, trigger kind and counts of an enabled or disabled frame trigger.
struct TriggerWords {
  std::uint32_t routing, level, control, frames, inversion, lines;
};

void RouteTrigger(const YatAcqHandle* handle, std::uint32_t routingKind, TriggerWords* w) {
  std::uint32_t source = handle->camera, channel = handle->camera;
  if (routingKind == 1 || routingKind == 2) source = channel = routingKind - 1;
  else if (routingKind == 3) source = 2;
  w->routing = (w->routing & ~0x3007u) | (source & 7) | ((channel & 3) << 12);
}

void EnableTrigger(const YatAcqHandle* handle, const void* record, TriggerWords* w) {
  const std::uint32_t count = Word(record, YAT_FT_WORD_FRAMES);
  const std::uint32_t kind = Word(record, YAT_FT_WORD_KIND);
  w->frames = (w->frames & ~0xFFFFFFu) | ((count == 0 ? 0 : count - 1) & 0xFFFFFF);
  w->level = (w->level & ~kLevelMode) | Bit(Word(record, YAT_FT_WORD_LEVEL_MODE) == 1, kLevelMode);
  w->routing = (w->routing & ~0xC000u) | 0x8000 | kFreeRun;
  if (kind == 1 || kind == 2) {
    w->control = (w->control & ~(kTriggerKindMask | kTriggerPolarity)) | 0x8 | Bit(kind == 2, kTriggerPolarity);
    w->routing &= ~kFreeRun;
  } else if (kind == 3 || kind == 4) {
    w->control = (w->control & ~(kTriggerKindMask | kTriggerPolarity)) | Bit(kind == 3, kTriggerPolarity);
  } else if (kind == 6 || kind == 7) {
    w->control = (w->control & ~(kTriggerKindMask | kTriggerPolarity)) | Bit(kind == 6, kTriggerPolarity);
    w->routing = (w->routing & ~0xF000u) | 0x4000;
  }
  const std::uint32_t inversion = handle->camera == 0 ? 1u << 16 : 1u << 18;
  w->inversion = (w->inversion & ~inversion) | Bit((w->control & kTriggerPolarity) != 0, inversion);
}

QelHwStatus ReadTriggerWords(const YatAcqHandle* h, TriggerWords* w) {
  QelHwStatus status = Read(h, YAT_FE_REG_ROUTING, &w->routing);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(h->board, 0, YAT_FE_REG_TRIGGER_LEVEL, &w->level);
  if (status == QELHW_OK) status = Read(h, YAT_FE_REG_ACQ_CONTROL, &w->control);
  if (status == QELHW_OK) status = Read(h, YAT_FE_REG_FRAME_COUNT, &w->frames);
  if (status == QELHW_OK) status = Read(h, YAT_FE_REG_TRIGGER_INVERSION, &w->inversion);
  if (status == QELHW_OK) status = Read(h, YAT_FE_REG_LINES, &w->lines);
  return status;
}

QelHwStatus WriteTriggerWords(const YatAcqHandle* h, bool enabled, const TriggerWords& before,
                              const TriggerWords& w) {
  QelHwStatus status = Write(h, YAT_FE_REG_ROUTING, w.routing);
  if (status == QELHW_OK && enabled && ((before.level ^ w.level) & kLevelMode) != 0) {
    status = Write(h, YAT_FE_REG_TRIGGER_INVERSION, w.inversion & 0xFFFF);
    if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(h->board, 0, YAT_FE_REG_TRIGGER_LEVEL, w.level);
    if (status == QELHW_OK) status = Write(h, YAT_FE_REG_TRIGGER_INVERSION, w.inversion);
  }
  // The trigger logic takes a new control word on a pulse through zero.
  if (status == QELHW_OK && w.control != before.control) {
    status = Write(h, YAT_FE_REG_ACQ_CONTROL, w.control);
    if (status == QELHW_OK) status = Write(h, YAT_FE_REG_ACQ_CONTROL, 0);
    if (status == QELHW_OK) status = Write(h, YAT_FE_REG_ACQ_CONTROL, w.control);
  }
  if (status == QELHW_OK) status = WriteIfChanged(h, YAT_FE_REG_LINES, before.lines, w.lines);
  if (status == QELHW_OK) status = Write(h, YAT_FE_REG_FRAME_COUNT, w.frames);
  if (status == QELHW_OK) status = Write(h, YAT_FE_REG_TRIGGER_INVERSION, w.inversion);
  return status;
}

}  // namespace

QelHwStatus Yat_FPGA_SetDataValid(YatAcqHandle* handle, std::uint32_t valid) {
  if (valid > 1) return QELHW_OK;
  return YatFeUpdate(handle->board, handle->camera, YAT_FE_REG_ACQ_CONTROL, valid, kDataValid);
}

QelHwStatus Yat_FPGA_SetAcquireMode(YatAcqHandle* handle, std::uint32_t mode) {
  const QelHwStatus status = YatFeRefuseWhileGrabbing(handle);
  if (status != QELHW_OK) return status;
  return YatFeUpdate(handle->board, handle->camera, YAT_FE_REG_ACQ_CONTROL, mode == 2 ? kAcquireModeBits : 0,
                     kAcquireModeBits);
}

// The acquisition field of a continuous grab is the handle's external-trigger frame count.
QelHwStatus Yat_Digital_PrepareAcquire(YatAcqHandle* handle) {
  return PrepareAcquire(handle, handle->grabCtrl.extTriggerFrameCount & 0xFFFF);
}

QelHwStatus Yat_Digital_PrepareAcquireNFrames(YatAcqHandle* handle, std::uint32_t frames) {
  return PrepareAcquire(handle, frames & 0xFFFF);
}

QelHwStatus Yat_FPGA_SetTapMap(YatAcqHandle* handle, std::uint32_t s1, std::uint32_t s2, std::uint32_t s3,
                               std::uint32_t s4) {
  std::uint32_t map = 0;
  const QelHwStatus status = Read(handle, YAT_FE_REG_TAP_MAP, &map);
  if (status != QELHW_OK) return status;
  map = (map & ~0x1FFFFu) | (s1 & 7) | ((s2 & 7) << 3) | ((s3 & 7) << 6) | ((s4 & 0xF) << 9) |
        Bit(s1 == 16, 1u << 13) | Bit(s2 == 16, 1u << 14) | Bit(s3 == 16, 1u << 15) | Bit(s4 == 16, 1u << 16);
  return Write(handle, YAT_FE_REG_TAP_MAP, map);
}

QelHwStatus Yat_FPGA_SetCameraTaps(YatAcqHandle* handle, const std::uint32_t (&kinds)[4]) {
  const std::uint32_t c = handle->camera;
  return Yat_FPGA_SetTapMap(handle, Selector(kinds[0], c), Selector(kinds[1], c), Selector(kinds[2], c),
                            Selector(kinds[3], c));
}

QelHwStatus Yat_FPGA_DefaultValues(YatAcqHandle* handle) {
  const std::uint32_t camera = handle->camera;
  QelHwStatus status = YatFeRefuseWhileGrabbing(handle);
  if (status == QELHW_OK) status = YatFeUpdate(handle->board, camera, YAT_FE_REG_ACQ_CONTROL, 0, kDataValid);
  if (status == QELHW_OK) status = Write(handle, YAT_FE_REG_ACQ_CONTROL, kDefaultAcqControl);
  if (status == QELHW_OK) status = YatFeUpdate(handle->board, camera, YAT_FE_REG_LINES, 0, kTopByte);
  const std::uint32_t routing = (camera & 7) | (1u << 6) | (6u << 9) | ((camera & 3) << 12) | (2u << 14);
  if (status == QELHW_OK) status = Write(handle, YAT_FE_REG_ROUTING, routing);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(handle->board, 0, YAT_FE_REG_TRIGGER_LEVEL, 0);
  if (status == QELHW_OK) status = Write(handle, YAT_FE_REG_OPTIONS, 0);
  if (status == QELHW_OK) {
    const bool lvds = handle->type == YAT_FE_LVDS_HANDLE;
    status = Yat_FPGA_SetTapMap(handle, lvds ? 1 : 7, lvds ? 0 : 7, 7, 7);
  }
  if (status == QELHW_OK) status = LoadIdentityLuts(handle);
  if (status == QELHW_OK) status = Yat_FPGA_FE_MainTicksSelectTick(handle, 0);
  return status;
}

QelHwStatus Yat_FPGA_SetFrameTrigger(YatAcqHandle* handle, const void* record) {
  if (handle == nullptr || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = YatFeRefuseWhileGrabbing(handle);
  TriggerWords before{};
  if (status == QELHW_OK) status = ReadTriggerWords(handle, &before);
  if (status != QELHW_OK) return status;
  TriggerWords w = before;
  RouteTrigger(handle, Word(record, YAT_FT_WORD_ROUTING), &w);
  w.control = (w.control & ~(kTriggerKindMask | kTopByte)) | 0x4;
  w.lines &= ~kTopByte;
  const bool enabled = Word(record, YAT_FT_WORD_ENABLE) != 0;
  if (enabled) EnableTrigger(handle, record, &w);
  if (Word(record, YAT_FT_WORD_DELAY_ENABLE) != 0) {
    status = ApplyDelay(record, &w.control, &w.lines);
    if (status != QELHW_OK) return status;
  }
  return WriteTriggerWords(handle, enabled, before, w);
}

PARDOW_API QelHwStatus Yat_FPGA_CL_SetExtFrameTriggerDelay(YatAcqHandle* handle, const void* record) {
  if (handle == nullptr || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = YatFeRefuseWhileGrabbing(handle);
  std::uint32_t control = 0, lines = 0;
  if (status == QELHW_OK) status = Read(handle, YAT_FE_REG_ACQ_CONTROL, &control);
  if (status == QELHW_OK) status = Read(handle, YAT_FE_REG_LINES, &lines);
  if (status != QELHW_OK) return status;
  std::uint32_t newControl = control, newLines = lines;
  status = ApplyDelay(record, &newControl, &newLines);
  if (status == QELHW_OK) status = WriteIfChanged(handle, YAT_FE_REG_ACQ_CONTROL, control, newControl);
  if (status == QELHW_OK) status = WriteIfChanged(handle, YAT_FE_REG_LINES, lines, newLines);
  return status;
}
