// Manager control rows over the board's EEPROMs, device parameters and flash,
// through the board library's extended interface.
#include <vector>

#include "firmware/win32/QelExtInterface.h"
#include "source/firmware/ManControlInternal.h"

namespace mancontrol {
namespace {

constexpr std::uint32_t kMainArea = 0;
constexpr std::uint32_t kInformationBytes = 31;
constexpr std::uint32_t kRawHead = 44;    // 32 unused bytes, area, offset, count
constexpr std::uint32_t kTripleHead = 12;  // w0, w1, count

// Reads and writes stay inside the EEPROM's bytes.
bool InsideEeprom(std::uint32_t offset, std::uint32_t count) {
  return std::uint64_t{offset} + count <= kEepromBytes;
}

QelStatus ReadArea(const Call& call, std::uint32_t area, std::uint32_t offset, std::uint32_t count) {
  if (!InsideEeprom(offset, count)) return kInputSize;
  return ExtEepromRead(call.board, area, offset, call.output, count);
}

// A read whose input is a fixed head ending in the count the output must hold.
QelStatus CheckCountedRead(const Call& call, std::uint32_t head) {
  if (call.input == nullptr) return kInputMissing;
  if (call.output == nullptr) return kOutputMissing;
  if (call.inputSize != head) return kInputSize;
  if (call.outputSize < call.word(head - 4)) return kOutputSize;
  return QEL_OK;
}

// A write whose input is a fixed head ending in the count, then the data.
QelStatus CheckCountedWrite(const Call& call, std::uint32_t head) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize < head) return kInputSize;
  if (call.inputSize < std::uint64_t{head} + call.word(head - 4)) return kInputSize;
  return QEL_OK;
}

// Rows that read an area word from an input the table names no size for.
QelStatus CheckAreaWord(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize < 4) return kInputSize;
  return QEL_OK;
}

}  // namespace

QelStatus BoardInformation(const Call& call) {
  if (call.outputSize < kInformationBytes) return kOutputSize;
  if (call.output == nullptr) return kOutputMissing;
  return ReadArea(call, kMainArea, 0, kInformationBytes);
}

QelStatus EepromFromOffset31(const Call& call) {
  if (call.output == nullptr) return kOutputMissing;
  return ReadArea(call, kMainArea, kInformationBytes, call.outputSize);
}

QelStatus EepromWord18(const Call& call) {
  if (call.output == nullptr) return kOutputMissing;
  if (call.outputSize != 4) return kOutputSize;
  const QelStatus status = ReadArea(call, kMainArea, 18, 4);
  if (status != QEL_OK) call.putWord(0, 0);
  return status;
}

QelStatus AreaInformation(const Call& call) {
  if (call.outputSize < kInformationBytes) return kOutputSize;
  if (call.output == nullptr) return kOutputMissing;
  if (const QelStatus status = CheckAreaWord(call); status != QEL_OK) return status;
  return ReadArea(call, call.word(0), 0, kInformationBytes);
}

QelStatus AreaFromOffset31(const Call& call) {
  if (const QelStatus status = CheckAreaWord(call); status != QEL_OK) return status;
  if (call.output == nullptr) return kOutputMissing;
  return ReadArea(call, call.word(0), kInformationBytes, call.outputSize);
}

QelStatus RawEepromRead(const Call& call) {
  if (const QelStatus status = CheckCountedRead(call, kRawHead); status != QEL_OK) return status;
  return ReadArea(call, call.word(32), call.word(36), call.outputSize);
}

QelStatus RawEepromWrite(const Call& call) {
  if (const QelStatus status = CheckCountedWrite(call, kRawHead); status != QEL_OK) return status;
  const std::uint32_t offset = call.word(36);
  const std::uint32_t count = call.word(40);
  if (!InsideEeprom(offset, count)) return kInputSize;
  return ExtEepromWrite(call.board, call.word(32), offset, call.input + kRawHead, count);
}

QelStatus DevicePrmRead(const Call& call) {
  if (const QelStatus status = CheckCountedRead(call, kTripleHead); status != QEL_OK) return status;
  return ExtGetDevicePrm(call.board, call.word(0), call.word(4), call.output, call.outputSize);
}

QelStatus DevicePrmWrite(const Call& call) {
  if (const QelStatus status = CheckCountedWrite(call, kTripleHead); status != QEL_OK) return status;
  // The board library takes the value as writable memory: it gets a copy.
  std::vector<std::uint8_t> data(call.input + kTripleHead, call.input + kTripleHead + call.word(8));
  return ExtSetDevicePrm(call.board, call.word(0), call.word(4), data.data(), call.word(8));
}

QelStatus FlashRead(const Call& call) {
  if (const QelStatus status = CheckCountedRead(call, kTripleHead); status != QEL_OK) return status;
  return ExtFlashRead(call.board, call.word(0), call.word(4), call.output, call.word(8));
}

QelStatus FlashWrite(const Call& call) {
  if (const QelStatus status = CheckCountedWrite(call, kTripleHead); status != QEL_OK) return status;
  return ExtFlashWrite(call.board, call.word(0), call.word(4), call.input + kTripleHead, call.word(8));
}

QelStatus DevicePrmBlock(const Call& call) {
  if (call.output == nullptr) return kOutputMissing;
  if (call.outputSize < 8) return kOutputSize;
  std::uint32_t block[4] = {};
  const QelStatus status = ExtGetDevicePrm(call.board, 0, 14, block, sizeof block);
  call.putWord(0, block[1]);
  call.putWord(4, block[2]);
  return status;
}

}  // namespace mancontrol
