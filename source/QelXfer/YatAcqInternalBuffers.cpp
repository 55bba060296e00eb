// Internal buffers of a device (slots 35, 36, 39, 40): the flat-field
// coefficient buffers, their selection and the correction's switch. While
// the correction is on, the board's flat-field unit reads the selected
// buffer's coefficients: its address goes to entry 0 of the connector's
// flat-field address table with the unit's enable bit.
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardManager.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelXfer/YatAcqBufferKit.h"

namespace {

constexpr std::uint32_t kMaxProcessingKindTwo = 8;
constexpr std::uint32_t kProcessingKindTwo = 2;
constexpr std::uint32_t kUnitEnable = 0x1;
constexpr std::uint32_t kAreaScan = 1;

std::uint32_t OfferedBuffers(const YatBufferDevice& d) {
  std::uint32_t available = 0;
  const QelHwStatus status = Yat_FPGA_IsProcessingAvailable(d.board, d.connector, kProcessingKindTwo, &available);
  return status == QELHW_OK && available != 0 ? kMaxProcessingKindTwo : 1;
}

std::uint32_t PixelDepth(std::uint32_t format) { return (format >> 11) & 0x1F; }

// Sets the board's flat-field format for the device's depth and bits; its buffer format in *format.
QelStatus SetFlatFieldFormat(const YatBufferDevice& d, std::uint32_t selected, std::uint32_t* format) {
  YatFlatFieldFormat ff{};
  const std::uint32_t bits = YatAcqValue(d.handle, 0x60004);
  QelStatus status = YatFlatFieldFormatOf(YatAcqValue(d.handle, 0x50004), bits, &ff);
  if (status != 0) return status;
  if (format != nullptr) *format = ff.bufferFormat;
  return TranslateStatus(
      Yat_FPGA_SetFlatFieldFormat(d.board, 0, ff.code, bits, selected));
}

// Entry 0 of the connector's flat-field table: the selected buffer with the
// unit's enable bit while the correction is on, else 0.
QelStatus ProgramUnit(const YatBufferDevice& d, const YatInternalBufferRecord* selected) {
  const std::uint32_t entry = selected != nullptr ? selected->coefficients.onboardAddress | kUnitEnable : 0;
  return TranslateStatus(Yat_FPGA_SetFlatFieldAddressTable(d.board, d.connector, 0, entry));
}

// A created record of the device, or the status that refuses `number`.
QelStatus Created(const YatBufferDevice& d, std::uint32_t number, QelStatus absent, YatInternalBufferRecord** out) {
  YatInternalBufferRecord* record = YatInternalRecord(d.board, d.device, number);
  if (record == nullptr) return kYatBufferNumber;
  if (record->state != 1) return absent;
  *out = record;
  return 0;
}

bool XferConnected(const YatBufferDevice& d) {
  std::uint8_t connected = 0;
  return AcqGetXferConnected(d.board, d.device, &connected) == 0 && connected != 0;
}

// Steps 3 and 4: the geometry of the coefficient lines.
QelStatus Geometry(const YatBufferDevice& d, YatInternalBufferRecord* r) {
  r->mode = YatAcqValue(d.handle, 0x30004);
  r->acq150 = YatAcqValue(d.handle, 0x150004);
  r->acq170 = YatAcqValue(d.handle, 0x170004);
  r->acq8130 = YatAcqValue(d.handle, 0x8130004);
  r->acq8140 = YatAcqValue(d.handle, 0x8140004);
  r->acq8110 = YatAcqValue(d.handle, 0x8110004);
  r->acq8120 = YatAcqValue(d.handle, 0x8120004);
  const std::uint32_t width = YatAcqValue(d.handle, 0xA0004) * YatAcqValue(d.handle, 0x310004);
  const std::uint32_t depth = PixelDepth(r->pixelFormat);
  std::uint32_t bus = 1;
  const QelHwStatus busStatus = Yat_Man_GetInternalBusWidth(d.board, &bus);
  if (busStatus != QELHW_OK) return TranslateStatus(busStatus);
  if (bus == 0) bus = 1;
  // Whole pixels up to the next bus word, so that a line of any depth ends on one.
  const std::uint32_t bytes = width * depth, missing = (bus - bytes % bus) % bus;
  r->lineValue = width + (depth == 0 ? missing : (missing + depth - 1) / depth);
  r->lines = r->mode == kAreaScan ? r->acq170 + YatAcqValue(d.handle, 0xC0004) : 1;
  r->widthFactor = depth == 1 ? 2 : 1;
  return 0;
}

// Bytes of the coefficients: an offset and a gain of the format's depth for every pixel of every line.
std::uint64_t CoefficientBytes(const YatInternalBufferRecord& r) {
  const std::uint32_t depth = PixelDepth(r.pixelFormat);
  return std::uint64_t{r.lines} * r.lineValue * 2 * (depth == 0 ? 1 : depth);
}

QelStatus CreateRecord(const YatBufferDevice& d, std::uint32_t* out) {
  std::uint32_t format = 0;
  const QelStatus formatStatus = SetFlatFieldFormat(d, d.record->prm70d, &format);
  if (formatStatus != 0) return formatStatus;
  YatInternalBufferRecord* record = nullptr;
  std::uint32_t number = 0;
  {
    const std::lock_guard<std::mutex> lock(YatBufferMutex());
    const std::uint32_t offered = OfferedBuffers(d);
    for (std::uint32_t n = 1; n <= offered && record == nullptr; ++n) {
      YatInternalBufferRecord* candidate = YatInternalRecord(d.board, d.device, n);
      if (candidate->state == 0) {
        *candidate = YatInternalBufferRecord{};
        candidate->state = 1;
        record = candidate;
        number = n;
      }
    }
  }
  if (record == nullptr) return kYatBufferNoRecord;
  record->pixelFormat = format;
  QelStatus status = Geometry(d, record);
  const std::uint64_t bytes = CoefficientBytes(*record);
  if (status == 0 && (bytes == 0 || bytes > 0xFFFFFFFFu)) status = kYatBufferMismatch;
  if (status == 0)
    status = TranslateStatus(
        Yat_InternalBuffer_Create(d.board, d.connector, 0, static_cast<std::uint32_t>(bytes), &record->coefficients));
  if (status != 0) {
    *record = YatInternalBufferRecord{};
    return status;
  }
  *out = number;
  return 0;
}

QelStatus CreateInternalBuffer(QelHandle* handle, std::uint32_t* out) {
  YatBufferDevice d;
  if (const QelStatus status = YatBufferDeviceOf(handle, &d); status != 0) return status;
  if (out == nullptr) return kYatBufferNoOutput;
  std::uint32_t number = 0;
  if (const QelStatus status = CreateRecord(d, &number); status != 0) return status;
  *out = number;
  if (d.record->prm70c == 0) AcqSetPrmValue(handle, 0x70C0004, number);
  return 0;
}

// A buffer the correction may be reading stays: freeing it would leave the
// board's unit on memory given back.
QelStatus FreeInternalBuffer(QelHandle* handle, std::uint32_t number) {
  YatBufferDevice d;
  if (const QelStatus status = YatBufferDeviceOf(handle, &d); status != 0) return status;
  YatInternalBufferRecord* record = nullptr;
  if (const QelStatus status = Created(d, number, kYatBufferNumber, &record); status != 0) return status;
  if (d.record->prm70d != 0) return kYatBufferInUse;
  const QelStatus first = YatFreeMemory(&record->first);
  const QelStatus second = YatFreeMemory(&record->coefficients);
  *record = YatInternalBufferRecord{};
  return first != 0 ? first : second;
}

// Slot 39, the selection (0x70C0004) about to change; with the correction on
// the board's unit follows it.
QelStatus CheckInternalBuffer(QelHandle* handle, std::uint32_t number) {
  YatBufferDevice d;
  if (const QelStatus status = YatBufferDeviceOf(handle, &d); status != 0) return status;
  YatInternalBufferRecord* record = nullptr;
  if (const QelStatus status = Created(d, number, kYatBufferNotCreated, &record); status != 0) return status;
  if (XferConnected(d)) return kYatBufferCheckConnected;
  return d.record->prm70d != 0 ? ProgramUnit(d, record) : 0;
}

// Slot 40, the correction (0x70D0004) about to be switched.
QelStatus SelectInternalBuffer(QelHandle* handle, std::uint32_t number) {
  YatBufferDevice d;
  if (const QelStatus status = YatBufferDeviceOf(handle, &d); status != 0) return status;
  YatInternalBufferRecord* record = nullptr;
  if (number != 0) {
    if (const QelStatus status = Created(d, d.record->prm70c, kYatBufferNotCreated, &record); status != 0)
      return status;
  }
  if (XferConnected(d)) return kYatBufferSelectConnected;
  if (const QelStatus status = SetFlatFieldFormat(d, number, nullptr); status != 0) return status;
  return ProgramUnit(d, record);
}

}  // namespace

void YatAcqFreeInternalBuffers(std::uint32_t board, std::uint32_t device) {
  if (const AcqDeviceRecord* owner = AcqSharedRecord(AcqGetSharedTables(), board, device))
    Yat_FPGA_SetFlatFieldAddressTable(board, LowestBitIndex(owner->resourceMask), 0, 0);
  for (std::uint32_t n = 1; n <= kYatInternalBuffersPerDevice; ++n) {
    YatInternalBufferRecord* record = YatInternalRecord(board, device, n);
    if (record == nullptr || record->state != 1) continue;
    YatFreeMemory(&record->first);
    YatFreeMemory(&record->coefficients);
    *record = YatInternalBufferRecord{};
  }
}

void YatAcqForgetBuffers(std::uint32_t board, std::uint32_t device, std::uint32_t connector) {
  Yat_FPGA_SetFlatFieldAddressTable(board, connector, 0, 0);
  for (std::uint32_t n = 1; n <= kYatInternalBuffersPerDevice; ++n)
    if (YatInternalBufferRecord* record = YatInternalRecord(board, device, n)) *record = YatInternalBufferRecord{};
  for (std::uint32_t n = 1; n <= kYatOnboardBuffersPerConnector; ++n)
    if (YatOnboardBufferRecord* record = YatOnboardRecord(board, connector, n)) *record = YatOnboardBufferRecord{};
}

QelStatus YatAcqWriteInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t gain);
QelStatus YatAcqReadInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t gain);

void YatAcqFillOnboardSlots(othStruct* table);

void YatAcqFillBufferSlots(othStruct* table) {
  if (table == nullptr) return;
  YatAcqFillOnboardSlots(table);
  table->internalBufferCreate = CreateInternalBuffer;
  table->internalBufferFree = FreeInternalBuffer;
  table->internalBufferWrite = YatAcqWriteInternalBuffer;
  table->internalBufferRead = YatAcqReadInternalBuffer;
  table->setPrm70c = CheckInternalBuffer;
  table->setPrm70d = SelectInternalBuffer;
}
