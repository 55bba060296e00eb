// On-board memory through the board private commands: fill, write, the
// address pattern and read, and the dispatch of the memory DMA test.
#include "source/firmware/BoardMemory.h"

#include <algorithm>
#include <array>

#include "driver/user/Pardow.h"

namespace mancontrol {
namespace {

constexpr std::uint32_t kPatternBlockWords = 512;
constexpr std::uint32_t kPatternBlockBytes = kPatternBlockWords * 4;

QelStatus Board(QelHwStatus status) { return static_cast<QelStatus>(status); }

QelStatus ReadRequest(const Call& call, MemoryRequest* request) {
  if (call.input == nullptr || call.inputSize == 0) return kNoOperation;
  if (call.inputSize != 21 && call.inputSize != 25) return kInputSize;
  request->mode = call.input[0];
  request->offset = call.word(1);
  request->size = call.word(5);
  request->data = call.quad(9);
  request->fillValue = call.word(17);
  request->option = call.word(21);
  return QEL_OK;
}

// Words that each hold their own byte address, from the offset up to the
// size field, written in blocks of 2048 bytes. A block that would hold no
// word is not sent: the board refuses a write of no bytes.
QelStatus AddressPattern(std::uint32_t board, const MemoryRequest& request) {
  const std::uint64_t blocks = (std::uint64_t{request.size} + kPatternBlockBytes - 1) / kPatternBlockBytes;
  std::array<std::uint32_t, kPatternBlockWords> block{};
  for (std::uint64_t i = 0; i < blocks; ++i) {
    const std::uint64_t start = request.offset + i * kPatternBlockBytes;
    std::uint32_t words = 0;
    for (std::uint64_t address = start; words < kPatternBlockWords && address < request.size; address += 4)
      block[words++] = static_cast<std::uint32_t>(address);
    if (words == 0) continue;
    const QelHwStatus status = Yat_Man_Memory_Write(board, static_cast<std::uint32_t>(start), words * 4,
                                                    reinterpret_cast<std::uintptr_t>(block.data()), request.option);
    if (status != QELHW_OK) return Board(status);
  }
  return QEL_OK;
}

}  // namespace

QelStatus MemoryWrite(const Call& call) {
  MemoryRequest request{};
  if (const QelStatus status = ReadRequest(call, &request); status != QEL_OK) return status;
  if (request.mode > 2) return kModeUnknown;
  if (request.mode != 2 && request.data == 0) return Board(QELHW_ERROR_ARG_INVALID);
  switch (request.mode) {
    case 0:
      return Board(Yat_Man_Memory_Fill(call.board, request.offset, request.size, request.data,
                                       static_cast<std::int32_t>(request.fillValue), request.option));
    case 1:
      return Board(Yat_Man_Memory_Write(call.board, request.offset, request.size, request.data, request.option));
    default:
      return AddressPattern(call.board, request);
  }
}

QelStatus MemoryTest(const Call& call) {
  MemoryRequest request{};
  if (const QelStatus status = ReadRequest(call, &request); status != QEL_OK) return status;
  switch (request.mode) {
    case 0:
      if (request.data == 0) return Board(QELHW_ERROR_ARG_INVALID);
      return Board(Yat_Man_Memory_Read(call.board, request.offset, request.size, request.data, request.option));
    case 1: return MemoryTestStart(call.board, request);
    case 2: return MemoryTestPattern(call.board);
    case 3: return MemoryTestWait(call.board, request);
    case 4: return MemoryTestEnd(call.board);
    default: return kModeUnknown;
  }
}

}  // namespace mancontrol
