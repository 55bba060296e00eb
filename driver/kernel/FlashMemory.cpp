#include "driver/kernel/FlashMemory.h"

#include <algorithm>
#include <cstring>

#include "driver/kernel/FlashBus.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagFlashBuffer = StavroPoolTag('H');
constexpr std::uint32_t kBlockBytes = 0x10000;
constexpr std::uint32_t kEraseReads = 112;
constexpr std::int64_t kErasePollMs = 60;
constexpr std::uint32_t kAttempts = 5;
constexpr std::uint32_t kTraceFlashWrite = 0x100;
constexpr std::uint16_t kDataPoll = 0x80;

// A 64 KiB work buffer of one request.
class BlockBuffer {
 public:
  BlockBuffer() : bytes_(static_cast<std::uint8_t*>(allocate_pool(PoolType::kPaged, kBlockBytes, kTagFlashBuffer))) {
    if (bytes_ != nullptr) std::memset(bytes_, 0, kBlockBytes);
  }
  ~BlockBuffer() {
    if (bytes_ != nullptr) free_pool_with_tag(bytes_, kTagFlashBuffer);
  }
  BlockBuffer(const BlockBuffer&) = delete;
  BlockBuffer& operator=(const BlockBuffer&) = delete;
  std::uint8_t* bytes() const { return bytes_; }

 private:
  std::uint8_t* bytes_;
};

std::uint16_t WordAt(const std::uint8_t* bytes, std::uint32_t index) {
  return static_cast<std::uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

bool ProgrammingVoltageWanted(YatBoardExtension* board) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  return manager != nullptr && manager->flashFlag == 1;
}

QelHwStatus ExitBypass(YatBoardExtension* board, std::uint32_t start) {
  QelHwStatus status = WriteFlashCycle(board, start, 0x90);
  if (status == QELHW_OK) status = WriteFlashCycle(board, start, 0);
  return status;
}

QelHwStatus ProgramWords(YatBoardExtension* board, std::uint32_t start, const std::uint8_t* data) {
  for (std::uint32_t i = 0; i < kFlashBlockWords; ++i) {
    const std::uint16_t word = WordAt(data, i);
    QelHwStatus status = WriteFlashCycle(board, kFlashUnlockAddress1, 0xA0);
    if (status == QELHW_OK) status = WriteFlashCycle(board, start + i, word);
    if (status == QELHW_OK) status = CheckWriteFlash(board, start + i, word);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

// One whole block from 64 KiB of data.
QelHwStatus WriteFlashBlock(YatBoardExtension* board, std::uint32_t block, const std::uint8_t* data) {
  const std::uint32_t start = block * kFlashBlockWords;
  const bool voltage = ProgrammingVoltageWanted(board);
  QelHwStatus status = ResetFlash(board);
  if (status != QELHW_OK) return status;
  if (voltage && (status = Enable12VFlash(board)) != QELHW_OK) {
    ExitBypass(board, start);
    Disable12VFlash(board);
    return status;
  }
  status = _EraseFlashBlock(board, block);
  if (status == QELHW_OK) status = ResetFlash(board);
  if (status == QELHW_OK) {
    status = FlashCommand(board, 0x20);
    if (status == QELHW_OK) status = ProgramWords(board, start, data);
    const QelHwStatus exited = ExitBypass(board, start);
    if (status == QELHW_OK) status = exited;
  }
  if (voltage) {
    const QelHwStatus off = Disable12VFlash(board);
    if (status == QELHW_OK) status = off;
  }
  return status;
}

QelHwStatus ReadWords(YatBoardExtension* board, std::uint32_t firstWord, std::uint32_t words, std::uint8_t* out) {
  for (std::uint32_t i = 0; i < words; ++i) {
    const std::uint16_t word = ReadFlashCycle(board, firstWord + i);
    out[2 * i] = static_cast<std::uint8_t>(word);
    out[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
  }
  return QELHW_OK;
}

QelHwStatus ReadBlock(YatBoardExtension* board, std::uint32_t block, std::uint8_t* out) {
  QelHwStatus status = ResetFlash(board);
  if (status == QELHW_OK) status = ReadWords(board, block * kFlashBlockWords, kFlashBlockWords, out);
  return status;
}

QelHwStatus WithRetries(const char* message, QelHwStatus (*step)(YatBoardExtension*, std::uint32_t, std::uint8_t*),
                        YatBoardExtension* board, std::uint32_t block, std::uint8_t* bytes) {
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t attempt = 1; attempt <= kAttempts; ++attempt) {
    status = step(board, block, bytes);
    if (status == QELHW_OK) break;
    if (attempt < kAttempts) STAVRO_LOG(kLogError, message, static_cast<int>(attempt + 1));
  }
  return status;
}

QelHwStatus ProgramFromBuffer(YatBoardExtension* board, std::uint32_t block, std::uint8_t* bytes) {
  return WriteFlashBlock(board, block, bytes);
}

// A part of a block: read it, lay the caller's bytes over it, program it.
QelHwStatus MergeIntoBlock(YatBoardExtension* board, std::uint64_t source, std::uint32_t offset, std::uint32_t n) {
  BlockBuffer buffer;
  if (buffer.bytes() == nullptr) {
    STAVRO_LOG(kLogError, "%s: Error <WriteFlash> Unable to write flash");
    return QELHW_ERROR_FLASH_READ;
  }
  const std::uint32_t block = offset / kBlockBytes;
  QelHwStatus status = WithRetries("%s: WriteFlash, retry #%d of ReadFlash", ReadBlock, board, block, buffer.bytes());
  if (status != QELHW_OK) return status;
  if (!plat::nt_success(copy_from_caller(source, buffer.bytes() + offset % kBlockBytes, n)))
    return QELHW_ERROR_PARAMETER_INVALID;
  return WithRetries("%s: WriteFlash, retry #%d of WriteFlashBlockSize", ProgramFromBuffer, board, block,
                     buffer.bytes());
}

// A whole block at its start, from the caller's data.
QelHwStatus WholeBlock(YatBoardExtension* board, std::uint64_t source, std::uint32_t block) {
  BlockBuffer buffer;
  if (buffer.bytes() == nullptr) {
    STAVRO_LOG(kLogError, "%s: Error <WriteFlash> Unable to write flash");
    return QELHW_ERROR_FLASH_READ;
  }
  if (!plat::nt_success(copy_from_caller(source, buffer.bytes(), kBlockBytes))) return QELHW_ERROR_PARAMETER_INVALID;
  return WriteFlashBlock(board, block, buffer.bytes());
}

QelHwStatus WriteBlocks(YatBoardExtension* board, std::uint64_t source, std::uint32_t offset, std::uint32_t count) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  std::uint64_t remaining = count;
  QelHwStatus status = QELHW_OK;
  while (remaining > 0 && status == QELHW_OK) {
    const std::uint32_t block = offset / kBlockBytes;
    if (manager != nullptr && (manager->traceFlags & kTraceFlashWrite))
      STAVRO_LOG(kLogTrace, "%s: <WriteFlash> 0x%x", static_cast<unsigned>(remaining));
    if (block >= kFlashBlockCount) {
      STAVRO_LOG(kLogError, "%s: Error <WriteFlash> Invalid offset");
      return QELHW_ERROR_FLASH_WRITE;
    }
    if (offset % kBlockBytes == 0 && remaining >= kBlockBytes) {
      status = WholeBlock(board, source, block);
      source += kBlockBytes;
      offset += kBlockBytes;
      remaining -= kBlockBytes;
      continue;
    }
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, kBlockBytes - offset % kBlockBytes));
    status = MergeIntoBlock(board, source, offset, n);
    source += n & ~1u;
    offset += n;
    remaining -= n;
  }
  return status;
}

}  // namespace

QelHwStatus WriteFlash(YatBoardExtension* board, std::uint64_t source, std::uint32_t offset, std::uint32_t count) {
  // A single byte is merged on its own: its neighbour in the word keeps its value.
  if (offset % 2 != 0) {
    STAVRO_LOG(kLogError, "%s: Error <WriteFlash> Invalid Offset");
    return QELHW_ERROR_FLASH_WRITE;
  }
  FlashAccessOn(board);
  const QelHwStatus status = WriteBlocks(board, source, offset, count);
  FlashAccessOff(board);
  return status;
}

QelHwStatus ReadFlash(YatBoardExtension* board, std::uint32_t offset, std::uint32_t count,
                      std::uint64_t destination) {
  // The device wraps around at its end: a range past it is refused instead.
  if (offset > kFlashBytes || count > kFlashBytes - offset) return QELHW_ERROR_FLASH_READ;
  BlockBuffer buffer;
  if (buffer.bytes() == nullptr) return QELHW_ERROR_FLASH_READ;
  FlashAccessOn(board);
  QelHwStatus status = ResetFlash(board);
  std::uint32_t done = 0;
  while (status == QELHW_OK && done < count) {
    // Whole words around the chunk; an odd start takes the high byte of its word.
    const std::uint32_t at = offset + done;
    const std::uint32_t chunk = std::min(count - done, kBlockBytes - 2);
    const std::uint32_t firstWord = at / 2;
    const std::uint32_t words = (at + chunk + 1) / 2 - firstWord;
    status = ReadWords(board, firstWord, words, buffer.bytes());
    if (status == QELHW_OK &&
        !plat::nt_success(copy_to_caller(destination + done, buffer.bytes() + at % 2, chunk)))
      status = QELHW_ERROR_PARAMETER_INVALID;
    done += chunk;
  }
  const QelHwStatus reset = ResetFlash(board);
  if (status == QELHW_OK) status = reset;
  FlashAccessOff(board);
  return status;
}

QelHwStatus _EraseFlashBlock(YatBoardExtension* board, std::uint32_t block) {
  const std::uint32_t start = block * kFlashBlockWords;
  QelHwStatus status = FlashCommand(board, 0x80);
  if (status == QELHW_OK) status = FlashUnlock(board);
  if (status == QELHW_OK) status = WriteFlashCycle(board, start, 0x30);
  if (status != QELHW_OK) return status;
  std::uint16_t value = 0;
  for (std::uint32_t read = 0; read < kEraseReads; ++read) {
    value = ReadFlashCycle(board, start);
    if ((value & kDataPoll) != 0) return QELHW_OK;
    delay_execution(relative_milliseconds(kErasePollMs));
  }
  STAVRO_LOG(kLogError, "%s: Error <_EraseFlashBlock> Unable to erase the bloc,[0x%02x] val = [0x%02x]", block, value);
  return QELHW_ERROR_FLASH_WRITE;
}

QelHwStatus ReadFlashIdentifierWord(YatBoardExtension* board, std::uint32_t index, std::uint16_t* word) {
  QelHwStatus status = index < 16 ? FlashCommand(board, 0x90) : WriteFlashCycle(board, 0x55, 0x98);
  if (status != QELHW_OK) return status;
  *word = ReadFlashCycle(board, index);
  return WriteFlashCycle(board, 0, 0xF0);
}

QelHwStatus ReadFlashIdentifier(YatBoardExtension* board, std::uint32_t index, std::uint32_t* word) {
  FlashAccessOn(board);
  std::uint16_t value = 0;
  QelHwStatus status = ResetFlash(board);
  if (status == QELHW_OK) status = ReadFlashIdentifierWord(board, index, &value);
  const QelHwStatus reset = ResetFlash(board);
  if (status == QELHW_OK) status = reset;
  FlashAccessOff(board);
  if (status == QELHW_OK) *word = value;
  return status;
}
