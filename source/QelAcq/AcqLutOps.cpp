// The input LUT operations of the device interface table: the identity at
// device initialisation, reads from the shared shadows, and colour LUT writes
// programmed to the board. Reads and writes are bounded by the shadows: a LUT
// number of 4 or more, or more than 4096 entries per channel, is refused
// (0x400333) rather than read or written past the board's LUTs.
#include <algorithm>
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqLutShadows.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr std::uint32_t kCamDepth = 6;
constexpr std::uint32_t kCamTaps = 49;
constexpr std::uint32_t kVicLutDeferred = 2075;
constexpr std::uint32_t kVicOutputFormat = 2088;
constexpr std::uint32_t kColourFormatBit = 0x40000000;
constexpr std::uint32_t kMonoLutBytes = kAcqLutEntries * 2;
constexpr std::uint32_t kColourLutBytes = kAcqLutChannels * kMonoLutBytes;

// The device a LUT operation names: its record, after the handle checks.
QelStatus DeviceOf(const QelHandle* handle, AcqDeviceRecord** record) {
  if (handle == nullptr || !AcqIsDeviceTag(handle->tag)) return kAcqInvalidHandle;
  const QelStatus status = AcqGetDeviceRecord(handle, record);
  return status == 0 ? 0 : status | kQelModuleAcquisition;
}

std::uint32_t CurrentDepth(const AcqDeviceRecord* record) { return *AcqPrmWords(&record->cam, kCamDepth); }

// The LUT number a request names: the device's connector index plus its LUT index.
QelStatus LutNumber(const AcqDeviceRecord* record, std::uint32_t lut, std::uint32_t* number) {
  const std::uint64_t n = std::uint64_t{LowestBitIndex(record->resourceMask)} + lut;
  if (n >= kAcqLutsPerBoard) return kAcqLutOutOfRange;
  *number = static_cast<std::uint32_t>(n);
  return 0;
}

void Identity(std::uint16_t* table, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i) table[i] = static_cast<std::uint16_t>(i);
}

QelStatus ReadShadow(QelHandle* handle, std::uint32_t lut, std::uint32_t size, void* destination, bool colour) {
  AcqDeviceRecord* record = nullptr;
  QelStatus status = DeviceOf(handle, &record);
  if (status != 0) return status;
  if (destination == nullptr) return kAcqMissingPointer;
  std::uint32_t number = 0;
  status = LutNumber(record, lut, &number);
  if (status != 0) return status;
  if (size > (colour ? kColourLutBytes : kMonoLutBytes)) return kAcqLutOutOfRange;
  if (!colour) {
    const std::uint16_t* table = AcqMonoLut(record->boardIndex, number);
    if (table == nullptr) return kAcqLutOutOfRange;
    std::memcpy(destination, table, size);
    return 0;
  }
  // Three planes of equal length, one a channel, as a colour write takes them.
  const std::uint32_t planeBytes = size / kAcqLutChannels;
  for (std::uint32_t channel = 0; channel < kAcqLutChannels; ++channel) {
    const std::uint16_t* table = AcqColourLut(record->boardIndex, number, channel);
    if (table == nullptr) return kAcqLutOutOfRange;
    std::memcpy(static_cast<std::uint8_t*>(destination) + std::size_t{channel} * planeBytes, table, planeBytes);
  }
  return 0;
}

// Entry i of little-endian entries `width` bytes wide (1, 2 or 4), cut to 16 bits.
std::uint16_t EntryOf(const void* source, std::size_t i, std::uint32_t width) {
  std::uint32_t entry = 0;
  std::memcpy(&entry, static_cast<const std::uint8_t*>(source) + i * width, width);
  return static_cast<std::uint16_t>(entry);
}

}  // namespace

std::uint32_t AcqLutLength(std::uint32_t depth) {
  if (depth == 8) return 256;
  if (depth == 10) return kAcqLut10Entries;
  return kAcqLutEntries;
}

QelStatus AcqLutInitMono(QelHandle* handle) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = DeviceOf(handle, &record);
  if (status != 0) return status;
  const std::uint32_t length = AcqLutLength(CurrentDepth(record));
  for (std::uint32_t lut = 0; lut < kAcqLutsPerBoard; ++lut) {
    Identity(AcqMonoLut(record->boardIndex, lut), length);
    for (std::uint32_t channel = 0; channel < kAcqLutChannels; ++channel)
      Identity(AcqColour10Lut(record->boardIndex, lut, channel), kAcqLut10Entries);
  }
  return 0;
}

QelStatus AcqLutInitColor(QelHandle* handle) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = DeviceOf(handle, &record);
  if (status != 0) return status;
  const std::uint32_t length = AcqLutLength(CurrentDepth(record));
  for (std::uint32_t lut = 0; lut < kAcqLutsPerBoard; ++lut)
    for (std::uint32_t channel = 0; channel < kAcqLutChannels; ++channel)
      Identity(AcqColourLut(record->boardIndex, lut, channel), length);
  return 0;
}

QelStatus AcqReadLutMono(QelHandle* handle, std::uint32_t lut, std::uint32_t size, std::uint32_t, void* destination) {
  return ReadShadow(handle, lut, size, destination, false);
}

QelStatus AcqReadLutColor(QelHandle* handle, std::uint32_t lut, std::uint32_t size, std::uint32_t, void* destination) {
  return ReadShadow(handle, lut, size, destination, true);
}

bool AcqIsColourOutput(std::uint32_t format) {
  return (format & kColourFormatBit) != 0 || ((format >> 24) & 0xF) == kAcqLutChannels;
}

bool AcqLutIsWider(const AcqValidationContext* context) {
  const std::uint32_t format = AcqNewPrm(context, kVicOutputFormat);
  const std::uint32_t depth = AcqNewPrm(context, kCamDepth);
  if ((format == 0x1010800 || format == 0x61092000) && depth > 8) return true;
  return format == 0x610a2000 && depth > 10;
}

QelStatus AcqWriteLutColor(QelHandle* handle, std::uint32_t lut, std::uint32_t count, std::uint32_t bytesPerEntry,
                           void* source) {
  if (source == nullptr) return kAcqMissingPointer;
  if (bytesPerEntry != 1 && bytesPerEntry != 2 && bytesPerEntry != 4) return kAcqLutOutOfRange;
  AcqValidationContext context{};
  QelStatus status = DeviceOf(handle, &context.record);
  if (status == 0) status = AcqGetContext(handle, &context);
  if (status != 0) return status;
  std::uint32_t number = 0;
  status = LutNumber(context.record, lut, &number);
  if (status != 0) return status;
  if (count > kAcqLutEntries) return kAcqLutOutOfRange;
  // A planar colour output takes three planes as a packed one does; its LUT
  // dropped here would leave the board as it was while the write succeeds.
  if (AcqIsColourOutput(AcqNewPrm(&context, kVicOutputFormat))) {
    for (std::uint32_t channel = 0; channel < kAcqLutChannels; ++channel) {
      std::uint16_t* table = AcqColourLut(context.record->boardIndex, number, channel);
      for (std::uint32_t i = 0; i < count; ++i) table[i] = EntryOf(source, std::size_t{channel} * count + i, bytesPerEntry);
    }
  }
  if (AcqNewPrm(&context, kVicLutDeferred) == 0 && AcqLutIsWider(&context)) return 0;
  return AcqProgramLutColorCtx(&context);
}

QelStatus AcqProgramLutColorCtx(AcqValidationContext* context) {
  const AcqDeviceRecord* record = context->record;
  YatAcqHandle* hw = AcqGetHwHandle(record->boardIndex, record->slotIndex);
  const std::uint32_t connector = LowestBitIndex(record->resourceMask);
  const std::uint32_t taps = AcqNewPrm(context, kCamTaps);
  const std::uint32_t depth = AcqNewPrm(context, kCamDepth);
  for (std::uint32_t lut = 0; lut < taps; ++lut)
    for (std::uint32_t channel = 1; channel <= kAcqLutChannels; ++channel) {
      const std::uint16_t* table = AcqColourLut(record->boardIndex, connector, channel - 1);
      const QelHwStatus status = Yat_Digital_WriteLut(hw, 0, channel, lut, depth, table);
      if (status != QELHW_OK) return TranslateStatus(status);
    }
  return 0;
}

QelStatus AcqProgramLutColor(QelHandle* handle) {
  AcqValidationContext context{};
  const QelStatus status = AcqGetContext(handle, &context);
  return status != 0 ? status : AcqProgramLutColorCtx(&context);
}
