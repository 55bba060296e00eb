// The support operations of the device operations: lookups, the board-library
// queries of a device, and the small appliers the apply engine calls for a
// few parameters (frame trigger, strobe, data valid, camera-control lines).
#include <array>
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/AcqTimerRecords.h"

namespace {

YatAcqHandle* HwOf(const AcqValidationContext* context) {
  const AcqDeviceRecord* record = context == nullptr ? nullptr : context->record;
  return record == nullptr ? nullptr : AcqGetHwHandle(record->boardIndex, record->slotIndex);
}

template <typename Field>
QelStatus RecordWord(const QelHandle* handle, std::uint32_t* out, Field field) {
  if (out == nullptr) return kAcqMissingPointer;
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = AcqGetDeviceRecord(handle, &record);
  if (status != 0) return status;
  *out = field(*record);
  return 0;
}

// A control-line parameter: 0 (unused) or 0x0102nnnn with a line 1-4.
constexpr std::uint32_t kControlLineTag = 0x01020000;
constexpr std::uint32_t kLineWords = 5;
constexpr std::uint32_t kLineModeWord = 4;

bool LineOf(std::uint32_t value, std::uint32_t* line) {
  const std::uint32_t number = value & 0xFFFF;
  if ((value & 0xFFFF0000) != kControlLineTag || number < 1 || number > 4) return false;
  *line = number;
  return true;
}

void SetLineMode(std::uint32_t* lines, std::uint32_t line, std::uint32_t mode) {
  lines[(line - 1) * kLineWords + kLineModeWord] = mode;
}

}  // namespace

QelStatus AcqGetDeviceSlot(const QelHandle* handle, std::uint32_t* out) {
  return RecordWord(handle, out, [](const AcqDeviceRecord& r) { return r.slotIndex; });
}

QelStatus AcqGetDeviceResourceMask(const QelHandle* handle, std::uint32_t* out) {
  return RecordWord(handle, out, [](const AcqDeviceRecord& r) { return r.resourceMask; });
}

std::uint32_t AcqGetMaxCamera(std::uint32_t board) {
  std::uint32_t count = 0;
  return Yat_Man_GetMaxCamera(board, &count) == QELHW_OK && count != 0 ? count : 1;
}

std::uint32_t AcqGetConnectorIndexOfContext(const AcqValidationContext* context) {
  return context == nullptr || context->record == nullptr ? 0 : LowestBitIndex(context->record->resourceMask);
}

bool AcqIsDigitalPresent() { return Yat_Digital_IsPresent(0) != 0; }

QelStatus AcqGetStdVideoFormat(const AcqValidationContext* context, std::uint32_t standard, void* out) {
  return TranslateStatus(QelHw_Acq_GetStdVideoFormat(HwOf(context), standard, out));
}

QelStatus AcqGetAcqWindowCaps(const AcqValidationContext* context, void* out) {
  if (context == nullptr || context->record == nullptr) return kAcqMissingPointer;
  return TranslateStatus(Yat_Digital_GetAcqWindowCaps(context->record->boardIndex, out));
}

QelStatus AcqFrameTriggerEnable(AcqValidationContext* context) {
  AcqFrameTriggerRecord record{};
  record.w[0] = sizeof record;
  const QelStatus status = AcqComputeFrameTrigger(context, &record);
  if (status != 0) return status;
  return TranslateStatus(QelHw_Acq_FrameTriggerEnable(HwOf(context), &record));
}

// The double-pulse control timers take the control record (t1-t16) the
// double-pulse builder fills: that is the record the board library reads.
QelStatus AcqApplyStrobe(AcqValidationContext* context) {
  if (AcqNewPrm(context, 2077) != 0) {
    const std::uint32_t method = AcqNewPrm(context, 2078), scan = AcqNewPrm(context, 3);
    if (((method == 1 || method == 2) && scan == 2) || (method == 4 && scan == 1))
      return kQelModuleAcquisition | QelStatusMake(2078, kAcqKindNotSupported);
  }
  AcqStrobeRecord strobe{};
  QelStatus status = AcqComputeStrobeTimer(context, &strobe);
  if (status == 0) status = TranslateStatus(QelHw_Acq_SetStrobeTimer(HwOf(context), &strobe));
  if (status != 0) return status;
  AcqTimerRecordPair pulses{};
  std::uint32_t summary = 0;
  AcqDoublePulseControlRecord control{};
  status = AcqComputeDoublePulseTimers(context, &pulses, &summary, &control);
  if (status != 0 || AcqGetConnectorIndexOfContext(context) != 0) return status;
  return TranslateStatus(QelHw_Acq_SetDoublePulseControlTimers(HwOf(context), &control));
}

QelStatus AcqApplyDataValid(AcqValidationContext* context) {
  const std::uint32_t validOption = AcqNewPrm(context, 95), signal = AcqNewPrm(context, 96);
  const bool parallelThree = AcqNewPrm(context, 50) == 4 && AcqNewPrm(context, 49) == 3;
  const std::uint32_t enable = (validOption != 0 || parallelThree) && signal == 2 ? 0 : 1;
  QelStatus status = TranslateStatus(QelHw_Acq_SetDataValid(HwOf(context), enable));
  if (validOption == 0 && AcqNewPrm(context, 108) >= 2) status = kAcqDataValidRefused;
  AcqTakePrm(context, 95);
  AcqTakePrm(context, 96);
  return status;
}

QelStatus AcqControlLinesFromTable(const AcqValidationContext* context, std::uint32_t* lines) {
  constexpr std::uint32_t kEntries = 32, kEntryWords = 9;
  const std::uint32_t* table = AcqNewPrmWords(context, 73);
  if (table == nullptr || lines == nullptr) return 0;
  for (std::uint32_t entry = 0; entry < kEntries; ++entry) {
    const std::uint32_t* words = table + entry * kEntryWords;
    const std::uint32_t line = words[3] & 0xFFFF;
    if ((words[0] & 0xFF) == 0 || line < 1 || line > 4) continue;
    SetLineMode(lines, line, words[8] != 0 ? 10 : 11);
  }
  return 0;
}

QelStatus AcqControlLinesFromPrms(AcqValidationContext* context, std::uint32_t* lines) {
  struct Role {
    std::uint32_t index, scan, mode;
  };
  const std::uint32_t triggerMode = AcqNewPrm(context, 33) == 128 ? 12 : 8;
  const std::array<Role, 6> roles = {{{85, 2, 8}, {86, 2, 7}, {87, 2, 9}, {74, 1, triggerMode}, {69, 1, 7}, {68, 1, 7}}};
  const std::uint32_t scan = AcqNewPrm(context, 3);
  QelStatus status = 0;
  for (const Role& role : roles) {
    const std::uint32_t value = AcqNewPrm(context, role.index);
    std::uint32_t line = 0;
    if (value != 0 && !LineOf(value, &line)) {
      status = QelStatusMake(role.index, kQelKindOutOfRange);
    } else if (value != 0 && role.scan == scan && lines != nullptr) {
      SetLineMode(lines, line, role.mode);
    }
  }
  for (const Role& role : roles) AcqTakePrm(context, role.index);
  return status;
}

bool AcqTriggerDelayUnitsOrdered(const void* record) {
  constexpr std::uint32_t kFactors[] = {1000000, 1000, 10000000, 0xFFFFFFFF, 10};
  if (record == nullptr) return false;
  std::uint32_t words[36];
  std::memcpy(words, record, sizeof words);
  const std::uint32_t tag = words[0];
  if (tag != 0x64000010 && (tag < 0x64000013 || tag > 0x64000017)) return false;
  const std::uint32_t first = words[13], second = words[33];
  if (first >= std::size(kFactors) || second >= std::size(kFactors)) return false;
  return kFactors[second] < kFactors[first] && words[35] != 0;
}

std::uint32_t AcqPrmValueToHw(const AcqValidationContext* context, std::uint32_t id) {
  return ConvMask7ToHw(AcqNewPrm(context, id >> 16));
}

QelStatus FpgaReadDataReg(std::uint32_t board, std::uint32_t, std::uint32_t reg, std::uint32_t* value) {
  return TranslateStatus(Yat_ReadDataReg(board, reg, value));
}

QelStatus FpgaWriteDataReg(std::uint32_t board, std::uint32_t, std::uint32_t reg, std::uint32_t value) {
  return TranslateStatus(Yat_WriteDataReg(board, reg, value));
}
