#include "driver/kernel/OnboardMemoryAccess.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "driver/kernel/MutexHold.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/client.h"
#include "platform/kernel/sync.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegSemaphore = 0x420;
constexpr std::uint32_t kWindow = 0x4000;
constexpr std::uint32_t kBlockBytes = 2048;
constexpr std::uint32_t kCacheWordsPerAccess = 256;  // one cache block
constexpr std::int64_t kJobTimeoutMs = 5000;
constexpr std::uint32_t kProbeStepMb = 32;
constexpr std::uint32_t kProbeSteps = 128;
constexpr std::uint32_t kProbeLow = 0xAA55FF00, kProbeHigh = 0x55AA00FF;
constexpr std::uint64_t kLastLocalAddress = 0xFFFFFFFCull;  // the last word a job can name

enum class Job { kWindowToMemory, kMemoryToWindow };

// Where the bytes of a transfer come from or go to: byte k of the range.
struct Bytes {
  QelHwStatus (*move)(const Bytes& self, std::uint64_t offset, std::uint8_t* data, std::uint32_t count);
  std::uint64_t user;
  const std::uint8_t* kernelIn;
  std::uint8_t* kernelOut;
};

QelHwStatus FromCaller(const Bytes& self, std::uint64_t offset, std::uint8_t* data, std::uint32_t count) {
  return plat::nt_success(copy_from_caller(self.user + offset, data, count)) ? QELHW_OK
                                                                               : QELHW_ERROR_PARAMETER_INVALID;
}
QelHwStatus ToCaller(const Bytes& self, std::uint64_t offset, std::uint8_t* data, std::uint32_t count) {
  return plat::nt_success(copy_to_caller(self.user + offset, data, count)) ? QELHW_OK : QELHW_ERROR_PARAMETER_INVALID;
}
QelHwStatus FromKernel(const Bytes& self, std::uint64_t offset, std::uint8_t* data, std::uint32_t count) {
  std::memcpy(data, self.kernelIn + offset, count);
  return QELHW_OK;
}
QelHwStatus ToKernel(const Bytes& self, std::uint64_t offset, std::uint8_t* data, std::uint32_t count) {
  std::memcpy(self.kernelOut + offset, data, count);
  return QELHW_OK;
}
// A fill's source: the 2048-byte pattern block, repeated from a block boundary.
QelHwStatus FromPattern(const Bytes& self, std::uint64_t offset, std::uint8_t* data, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) data[i] = self.kernelIn[(offset + i) % kBlockBytes];
  return QELHW_OK;
}

struct Transfer {
  YatBoardExtension* board;
  std::uint32_t engine;
  const char* timeoutMessage;
  QelHwStatus timeoutStatus;
};

using Block = std::array<std::uint32_t, kBlockBytes / 4 + 2>;  // a whole window, and the rounding

QelHwStatus WindowWrite(YatBoardExtension* board, const std::uint32_t* words, std::uint32_t count) {
  for (std::uint32_t done = 0; done < count; done += kCacheWordsPerAccess) {
    QelHwStatus status =
        Yat_WriteCacheDwords(board, kWindow + 4 * done, words + done, std::min(kCacheWordsPerAccess, count - done));
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus WindowRead(YatBoardExtension* board, std::uint32_t* words, std::uint32_t count) {
  for (std::uint32_t done = 0; done < count; done += kCacheWordsPerAccess) {
    QelHwStatus status =
        Yat_ReadCacheDwords(board, kWindow + 4 * done, words + done, std::min(kCacheWordsPerAccess, count - done));
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus RunJob(const Transfer& t, Job job, std::uint32_t address, std::uint32_t bytes) {
  const bool first = t.engine == 0;
  const std::uint32_t pair = job == Job::kWindowToMemory ? (first ? 0x7F80 : 0x7F00) : (first ? 0x7FC0 : 0x7F40);
  const std::uint32_t a[8] = {address, 0, t.engine, 0, 0, 0, 0, 0};
  const std::uint32_t b[8] = {0, 0, bytes & 0xFFF, 0, 0, 0, 0, 0};
  clear_event(&t.board->onboardMemoryEvent);
  QelHwStatus status = Yat_WriteCacheDwords(t.board, pair, a, 8);
  if (status == QELHW_OK) status = Yat_WriteCacheDwords(t.board, pair + 0x20, b, 8);
  if (status != QELHW_OK) return status;
  const std::int64_t timeout = relative_milliseconds(kJobTimeoutMs);
  if (wait_for_object(&t.board->onboardMemoryEvent, &timeout) == plat::kStatusTimeout) {
    KernelLogPrint(kLogError, __FILE__, __LINE__, t.timeoutMessage, kStavroLabel, address, bytes);
    return t.timeoutStatus;
  }
  return QELHW_OK;
}

// One piece inside a 2048-byte block of local memory: `skip` bytes at its
// start (below the caller's first byte) and `length` bytes in all.
struct Piece {
  std::uint32_t address, skip, length;
  std::uint64_t rangeOffset;  // of the caller's first byte in this piece
};

QelHwStatus WritePiece(const Transfer& t, const Piece& p, const Bytes& source) {
  Block block{};
  auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
  if (p.length % 8 == 0 && p.skip == 0) {
    QelHwStatus status = source.move(source, p.rangeOffset, bytes, p.length);
    if (status == QELHW_OK) status = WindowWrite(t.board, block.data(), p.length / 4);
    return status == QELHW_OK ? RunJob(t, Job::kWindowToMemory, p.address, p.length) : status;
  }
  const std::uint32_t rounded = (p.length + 7) / 8 * 8;
  QelHwStatus status = RunJob(t, Job::kMemoryToWindow, p.address, rounded);
  if (status == QELHW_OK) status = WindowRead(t.board, block.data(), rounded / 4);
  if (status == QELHW_OK) status = source.move(source, p.rangeOffset, bytes + p.skip, p.length - p.skip);
  if (status == QELHW_OK) status = WindowWrite(t.board, block.data(), rounded / 4);
  return status == QELHW_OK ? RunJob(t, Job::kWindowToMemory, p.address, rounded) : status;
}

QelHwStatus ReadPiece(const Transfer& t, const Piece& p, const Bytes& sink) {
  Block block{};
  auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
  const std::uint32_t rounded = (p.length + 7) / 8 * 8;
  QelHwStatus status = RunJob(t, Job::kMemoryToWindow, p.address, rounded);
  if (status == QELHW_OK) status = WindowRead(t.board, block.data(), rounded / 4);
  return status == QELHW_OK ? sink.move(sink, p.rangeOffset, bytes + p.skip, p.length - p.skip) : status;
}

class EngineClaim {
 public:
  explicit EngineClaim(YatBoardExtension* board) : board_(board) {
    std::uint32_t busy = 1;
    status_ = Yat_ReadReg(board_, kRegSemaphore, &busy);
    if (status_ != QELHW_OK || busy != 0) {
      status_ = QELHW_ERROR_RESOURCE_IN_USE;
      return;
    }
    status_ = Yat_WriteReg(board_, kRegSemaphore, 1);
    claimed_ = status_ == QELHW_OK;
  }
  ~EngineClaim() {
    if (claimed_) Yat_WriteReg(board_, kRegSemaphore, 0);
  }
  EngineClaim(const EngineClaim&) = delete;
  EngineClaim& operator=(const EngineClaim&) = delete;
  QelHwStatus status() const { return status_; }

 private:
  YatBoardExtension* board_;
  QelHwStatus status_ = QELHW_OK;
  bool claimed_ = false;
};

// Splits the range at 2048-byte boundaries, from an 8-byte aligned start.
template <typename Each>
QelHwStatus ForEachPiece(std::uint32_t localAddress, std::uint32_t byteCount, Each each) {
  const std::uint32_t skip = localAddress % 8;
  std::uint64_t at = localAddress - skip;
  const std::uint64_t end = std::uint64_t{localAddress} + byteCount;
  std::uint64_t rangeOffset = 0;
  for (bool first = true; at < end; first = false) {
    const std::uint64_t next = std::min<std::uint64_t>((at / kBlockBytes + 1) * kBlockBytes, end);
    const Piece piece{static_cast<std::uint32_t>(at), first ? skip : 0, static_cast<std::uint32_t>(next - at),
                      rangeOffset};
    QelHwStatus status = each(piece);
    if (status != QELHW_OK) return status;
    rangeOffset += piece.length - piece.skip;
    at = next;
  }
  return QELHW_OK;
}

QelHwStatus WriteRange(const Transfer& t, std::uint32_t localAddress, std::uint32_t byteCount, const Bytes& source) {
  EngineClaim claim(t.board);
  if (claim.status() != QELHW_OK) return claim.status();
  return ForEachPiece(localAddress, byteCount, [&](const Piece& p) { return WritePiece(t, p, source); });
}

QelHwStatus ReadRange(const Transfer& t, std::uint32_t localAddress, std::uint32_t byteCount, const Bytes& sink) {
  EngineClaim claim(t.board);
  if (claim.status() != QELHW_OK) return claim.status();
  return ForEachPiece(localAddress, byteCount, [&](const Piece& p) { return ReadPiece(t, p, sink); });
}

Transfer Writing(YatBoardExtension* board, std::uint32_t engine) {
  return {board, engine, "%s: FpgaWriteMemory: Could Not Write To Local Memory", QELHW_ERROR_MEMORY_WRITE};
}
Transfer Reading(YatBoardExtension* board, std::uint32_t engine) {
  return {board, engine, "%s: FpgaReadMemory: Could Not Read Local Memory @0x%08X size=%04X", QELHW_ERROR_MEMORY_READ};
}

QelHwStatus ReadWord(YatBoardExtension* board, std::uint32_t address, std::uint32_t* word) {
  return FpgaReadMemory(board, address, 4, word, 0);
}
QelHwStatus WriteWord(YatBoardExtension* board, std::uint32_t address, std::uint32_t word) {
  return FpgaWriteMemory(board, address, 4, &word, 0);
}

// Probes i x 32 MB; *stop tells that the size is found. The address is
// computed in 64 bits: the last step lies at 4 GB, past every local
// address, so a memory that aliases below it stops the loop first and one
// that does not reaches the "more than 4 GB" answer.
QelHwStatus ProbeStep(YatBoardExtension* board, std::uint32_t i, bool* stop) {
  const std::uint64_t wide = std::uint64_t{i} * kProbeStepMb * 1024u * 1024u;
  if (wide > kLastLocalAddress) return QELHW_OK;
  const auto address = static_cast<std::uint32_t>(wide);
  std::uint32_t kept = 0, atZero = 0, back = 0;
  QelHwStatus status = ReadWord(board, address, &kept);
  if (status == QELHW_OK) status = WriteWord(board, address, kProbeHigh);
  if (status == QELHW_OK) status = ReadWord(board, 0, &atZero);
  if (status != QELHW_OK) return status;
  if (atZero == kProbeHigh) {
    *stop = true;
    return QELHW_OK;
  }
  if (atZero != kProbeLow) STAVRO_LOG(kLogError, "%s: <GetFpgaMemorySize> Invalid memory value [0x%08x]", atZero);
  status = ReadWord(board, address, &back);
  if (status != QELHW_OK) return status;
  if (back != kProbeHigh) {
    *stop = true;
    return QELHW_OK;
  }
  return WriteWord(board, address, kept);
}

}  // namespace

QelHwStatus FpgaWriteMemory(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                            const void* source, std::uint32_t engine) {
  if (source == nullptr && byteCount != 0) return QELHW_ERROR_ARG_INVALID;
  const Bytes bytes{FromKernel, 0, static_cast<const std::uint8_t*>(source), nullptr};
  return WriteRange(Writing(board, engine), localAddress, byteCount, bytes);
}

QelHwStatus FpgaReadMemory(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                           void* destination, std::uint32_t engine) {
  if (destination == nullptr && byteCount != 0) return QELHW_ERROR_ARG_INVALID;
  const Bytes bytes{ToKernel, 0, nullptr, static_cast<std::uint8_t*>(destination)};
  return ReadRange(Reading(board, engine), localAddress, byteCount, bytes);
}

QelHwStatus YatWriteMemoryFromCaller(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                                     std::uint64_t userAddress, std::uint32_t engine) {
  return WriteRange(Writing(board, engine), localAddress, byteCount, Bytes{FromCaller, userAddress, nullptr, nullptr});
}

QelHwStatus YatReadMemoryToCaller(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                                  std::uint64_t userAddress, std::uint32_t engine) {
  return ReadRange(Reading(board, engine), localAddress, byteCount, Bytes{ToCaller, userAddress, nullptr, nullptr});
}

QelHwStatus FpgaFillMemory(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                           std::uint64_t patternAddress, std::uint32_t patternLength, std::uint32_t engine) {
  if (patternLength == 0 || patternLength > kBlockBytes || kBlockBytes % patternLength != 0 ||
      localAddress % kBlockBytes != 0)
    return QELHW_ERROR_ARG_INVALID;
  if (byteCount == 0) return QELHW_OK;
  std::array<std::uint8_t, kBlockBytes> pattern{};
  if (!plat::nt_success(copy_from_caller(patternAddress, pattern.data(), patternLength)))
    return QELHW_ERROR_PARAMETER_INVALID;
  for (std::uint32_t at = patternLength; at < kBlockBytes; at += patternLength)
    std::memcpy(pattern.data() + at, pattern.data(), patternLength);
  const Transfer t{board, engine, "%s: FpgaFillMemory: Could Not Write To Local Memory", QELHW_ERROR_MEMORY_WRITE};
  return WriteRange(t, localAddress, byteCount, Bytes{FromPattern, 0, pattern.data(), nullptr});
}

QelHwStatus GetFpgaMemorySize(YatBoardExtension* board, std::uint32_t* megabytes) {
  *megabytes = 0;
  std::uint32_t keptZero = 0;
  QelHwStatus status = ReadWord(board, 0, &keptZero);
  if (status == QELHW_OK) status = WriteWord(board, 0, kProbeLow);
  if (status != QELHW_OK) return status;
  std::uint32_t i = 1;
  bool stop = false;
  for (; i <= kProbeSteps; ++i) {
    status = ProbeStep(board, i, &stop);
    if (status != QELHW_OK || stop) break;
  }
  const QelHwStatus restored = WriteWord(board, 0, keptZero);
  if (status != QELHW_OK) return status;
  if (restored != QELHW_OK) return restored;
  if (!stop) {
    STAVRO_LOG(kLogError, "%s: <GetFpgaMemorySize> Memory size > 4 GBytes");
    board->onboardBytes.store(kLastLocalAddress + 4);
    return QELHW_ERROR_DRIVER_STATUS;
  }
  *megabytes = i * kProbeStepMb;
  board->onboardBytes.store(std::uint64_t{*megabytes} << 20);
  return QELHW_OK;
}

QelHwStatus YatOnboardMemoryBytes(YatBoardExtension* board, std::uint64_t* bytes) {
  *bytes = board->onboardBytes.load();
  if (*bytes != 0) return QELHW_OK;
  YatMutexHold engine(&board->onboardMemoryMutex);
  std::uint32_t megabytes = 0;
  const QelHwStatus status = GetFpgaMemorySize(board, &megabytes);
  *bytes = board->onboardBytes.load();
  return *bytes != 0 ? QELHW_OK : status;
}

QelHwStatus YatOnboardRangeValid(YatBoardExtension* board, std::uint64_t address, std::uint64_t count, bool* valid) {
  *valid = false;
  std::uint64_t size = 0;
  const QelHwStatus status = YatOnboardMemoryBytes(board, &size);
  if (status != QELHW_OK) return status;
  *valid = address <= size && count <= size - address;
  return QELHW_OK;
}
