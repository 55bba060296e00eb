// Section 3: registers, FPGA and on-board memory access.
#include <cstring>

#include "driver/kernel/FpgaConfig.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/MutexHold.h"
#include "driver/kernel/OnboardMemoryAccess.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/sync.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagList = StavroPoolTag('L');
constexpr std::uint32_t kCacheBlockWords = 256;
// Lists far longer than the register space are refused before any allocation.
constexpr std::uint32_t kMaxListEntries = 1u << 16;
constexpr std::uint32_t kMaxProcessingWords = 1u << 20;
constexpr std::uint32_t kMaxAbortDelay = 10000;

struct Request {
  const YatIocContext* context;
  bool narrow;  // a 32-bit caller
};

template <typename Record>
Record Read(const Request& r) {
  Record record{};
  std::memcpy(&record, r.context->input, sizeof record);
  return record;
}

QelHwStatus Need(const Request& r, std::uint32_t wide, std::uint32_t narrow, std::uint32_t output) {
  const std::uint32_t input = r.narrow ? narrow : wide;
  if (r.context->inputLength < input || r.context->outputLength < output) return QELHW_ERROR_IOC_BUFFER;
  return QELHW_OK;
}

void AnswerValue(const Request& r, std::uint32_t value) {
  std::memcpy(static_cast<char*>(r.context->output) + sizeof(YatIocStatus), &value, sizeof value);
}

// A zero-filled pool buffer for the words a request moves to or from the caller.
class ListBuffer {
 public:
  explicit ListBuffer(std::size_t bytes) : bytes_(bytes) {
    if (bytes_ == 0) return;
    data_ = allocate_pool(PoolType::kPaged, bytes_, kTagList);
    if (data_ != nullptr) std::memset(data_, 0, bytes_);
  }
  ~ListBuffer() {
    if (data_ != nullptr) free_pool_with_tag(data_, kTagList);
  }
  ListBuffer(const ListBuffer&) = delete;
  ListBuffer& operator=(const ListBuffer&) = delete;
  bool ok() const { return bytes_ == 0 || data_ != nullptr; }
  template <typename T>
  T* as() const {
    return static_cast<T*>(data_);
  }
  QelHwStatus from(std::uint64_t user) {
    return bytes_ == 0 || plat::nt_success(copy_from_caller(user, data_, bytes_)) ? QELHW_OK
                                                                                    : QELHW_ERROR_PARAMETER_INVALID;
  }
  QelHwStatus to(std::uint64_t user) const {
    return bytes_ == 0 || plat::nt_success(copy_to_caller(user, data_, bytes_)) ? QELHW_OK
                                                                                  : QELHW_ERROR_PARAMETER_INVALID;
  }

 private:
  std::size_t bytes_;
  void* data_ = nullptr;
};

// The window engine: one memory job at a time per board.
class OnboardMemoryLock : public YatMutexHold {
 public:
  explicit OnboardMemoryLock(YatBoardExtension* board) : YatMutexHold(&board->onboardMemoryMutex) {}
};

// A memory job never runs past the board's memory: a range beyond it would
// only alias onto the memory already there, job after job.
QelHwStatus InsideMemory(const Request& r, std::uint32_t localAddress, std::uint32_t byteCount) {
  bool valid = false;
  const QelHwStatus status = YatOnboardRangeValid(r.context->board, localAddress, byteCount, &valid);
  if (status != QELHW_OK) return status;
  if (valid) return QELHW_OK;
  STAVRO_LOG(kLogError, "%s: On-board memory range past the memory [0x%08x + 0x%08x]", localAddress, byteCount);
  return QELHW_ERROR_ARG_INVALID;
}

QelHwStatus WriteRegister(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocRegisterIn), sizeof(YatIocRegisterIn), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  const auto in = Read<YatIocRegisterIn>(r);
  return Yat_WriteReg(r.context->board, in.offset, in.value);
}

QelHwStatus ReadRegister(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocValueIn), sizeof(YatIocValueIn), sizeof(YatIocValueOut));
  if (status != QELHW_OK) return status;
  std::uint32_t value = 0;
  status = Yat_ReadReg(r.context->board, Read<YatIocValueIn>(r).value, &value);
  AnswerValue(r, value);
  return status;
}

QelHwStatus SetBits(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocSetBitsIn), sizeof(YatIocSetBitsIn), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  const auto in = Read<YatIocSetBitsIn>(r);
  return Yat_SetBitsReg(r.context->board, in.offset, in.value, in.mask);
}

QelHwStatus Cache(const Request& r, bool write) {
  QelHwStatus status = Need(r, sizeof(YatIocCacheIn), sizeof(YatIocCacheIn32), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  YatIocCacheIn in{};
  if (!r.narrow) {
    in = Read<YatIocCacheIn>(r);
  } else {
    const auto narrow = Read<YatIocCacheIn32>(r);
    in = {narrow.header, narrow.offset, narrow.userAddress, narrow.wordCount};
  }
  // A cache access never runs past its block: longer counts are refused as the primitive would.
  if (in.wordCount > kCacheBlockWords) return QELHW_ERROR_PARAMETER_INVALID;
  ListBuffer words(4ull * in.wordCount);
  if (!words.ok()) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  if (write) {
    status = words.from(in.userAddress);
    return status == QELHW_OK ? Yat_WriteCacheDwords(r.context->board, in.offset, words.as<std::uint32_t>(), in.wordCount)
                              : status;
  }
  status = Yat_ReadCacheDwords(r.context->board, in.offset, words.as<std::uint32_t>(), in.wordCount);
  return status == QELHW_OK ? words.to(in.userAddress) : status;
}

QelHwStatus Memory(const Request& r, bool write) {
  QelHwStatus status = Need(r, sizeof(YatIocMemoryIn), sizeof(YatIocMemoryIn32), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  YatIocMemoryIn in{};
  if (!r.narrow) {
    in = Read<YatIocMemoryIn>(r);
  } else {
    const auto narrow = Read<YatIocMemoryIn32>(r);
    in = {narrow.header, narrow.localAddress, narrow.userAddress, narrow.byteCount, narrow.engine};
  }
  status = InsideMemory(r, in.localAddress, in.byteCount);
  if (status != QELHW_OK) return status;
  OnboardMemoryLock held(r.context->board);
  return write ? YatWriteMemoryFromCaller(r.context->board, in.localAddress, in.byteCount, in.userAddress, in.engine)
               : YatReadMemoryToCaller(r.context->board, in.localAddress, in.byteCount, in.userAddress, in.engine);
}

QelHwStatus LoadFpga(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatFpgaLoadRecord), sizeof(YatFpgaLoadRecord32), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  YatFpgaLoadArgs args{};
  if (r.narrow) {
    const auto in = Read<YatFpgaLoadRecord32>(r);
    args.fpgaId = in.fpgaId;
    std::memcpy(args.fileName, in.fileName, sizeof args.fileName);
    args.imageAddress = in.imageAddress;
    args.imageSize = in.imageSize;
  } else {
    const auto in = Read<YatFpgaLoadRecord>(r);
    args.fpgaId = in.fpgaId;
    std::memcpy(args.fileName, in.fileName, sizeof args.fileName);
    args.imageAddress = in.imageAddress;
    args.imageSize = in.imageSize;
  }
  args.fileName[sizeof args.fileName - 1] = '\0';
  return FPGA_load(r.context->board, args);
}

QelHwStatus MemorySize(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocHeader), sizeof(YatIocHeader), sizeof(YatIocValueOut));
  if (status != QELHW_OK) return status;
  std::uint32_t megabytes = 0;
  {
    OnboardMemoryLock held(r.context->board);
    status = GetFpgaMemorySize(r.context->board, &megabytes);
  }
  AnswerValue(r, megabytes);
  return status;
}

QelHwStatus Fill(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocFillIn), sizeof(YatIocFillIn32), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  YatIocFillIn in{};
  if (!r.narrow) {
    in = Read<YatIocFillIn>(r);
  } else {
    const auto narrow = Read<YatIocFillIn32>(r);
    in = {narrow.header, narrow.localAddress, narrow.byteCount, narrow.patternAddress, narrow.patternLength,
          narrow.engine};
  }
  status = InsideMemory(r, in.localAddress, in.byteCount);
  if (status != QELHW_OK) return status;
  OnboardMemoryLock held(r.context->board);
  return FpgaFillMemory(r.context->board, in.localAddress, in.byteCount, in.patternAddress,
                        static_cast<std::uint32_t>(in.patternLength), in.engine);
}

QelHwStatus Unload(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocValueIn), sizeof(YatIocValueIn), sizeof(YatIocStatus));
  return status == QELHW_OK ? YatUnloadFpga(r.context->board, Read<YatIocValueIn>(r).value) : status;
}

QelHwStatus RegisterList(const Request& r, bool write) {
  QelHwStatus status = Need(r, sizeof(YatIocRegisterListIn), sizeof(YatIocRegisterListIn32),
                            write ? sizeof(YatIocStatus) : sizeof(YatIocValueOut));
  if (status != QELHW_OK) return status;
  YatIocRegisterListIn in{};
  if (!r.narrow) {
    in = Read<YatIocRegisterListIn>(r);
  } else {
    const auto narrow = Read<YatIocRegisterListIn32>(r);
    in = {narrow.header, narrow.userAddress, narrow.count};
  }
  if (in.count > kMaxListEntries) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  ListBuffer list(sizeof(YatRegisterPair) * in.count);
  if (!list.ok()) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  status = list.from(in.userAddress);
  if (status != QELHW_OK) return status;
  if (write) return YatWriteRegisterList(r.context->board, list.as<YatRegisterPair>(), in.count);
  status = YatReadRegisterList(r.context->board, list.as<YatRegisterPair>(), in.count);
  const QelHwStatus copied = list.to(in.userAddress);
  return status != QELHW_OK ? status : copied;
}

QelHwStatus IndexList(const Request& r, bool write) {
  QelHwStatus status = Need(r, sizeof(YatIocIndexListIn), sizeof(YatIocIndexListIn32),
                            write ? sizeof(YatIocStatus) : sizeof(YatIocValueOut));
  if (status != QELHW_OK) return status;
  YatIocIndexListIn in{};
  if (!r.narrow) {
    in = Read<YatIocIndexListIn>(r);
  } else {
    const auto narrow = Read<YatIocIndexListIn32>(r);
    in = {narrow.header, narrow.userAddress, narrow.count, narrow.channel};
  }
  if (in.count > kMaxListEntries) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  ListBuffer list(sizeof(YatRegisterPair) * in.count);
  if (!list.ok()) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  status = list.from(in.userAddress);
  if (status != QELHW_OK) return status;
  if (write) return YatWriteIndexRegisters(r.context->board, in.channel, list.as<YatRegisterPair>(), in.count);
  status = YatReadIndexRegisters(r.context->board, in.channel, list.as<YatRegisterPair>(), in.count);
  const QelHwStatus copied = list.to(in.userAddress);
  return status != QELHW_OK ? status : copied;
}

QelHwStatus ProcessingWrite(const Request& r) {
  QelHwStatus status =
      Need(r, sizeof(YatIocProcessingWriteIn), sizeof(YatIocProcessingWriteIn32), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  YatIocProcessingWriteIn in{};
  if (!r.narrow) {
    in = Read<YatIocProcessingWriteIn>(r);
  } else {
    const auto narrow = Read<YatIocProcessingWriteIn32>(r);
    in = {narrow.header, narrow.unit, narrow.address, narrow.userAddress, narrow.count};
  }
  if (in.count > kMaxProcessingWords) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  ListBuffer words(4ull * in.count);
  if (!words.ok()) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  status = words.from(in.userAddress);
  return status == QELHW_OK ? Yat_WriteProcessingMemory(r.context->board, in.unit, in.address,
                                                        words.as<std::uint32_t>(), in.count)
                            : status;
}

QelHwStatus ProcessingRead(const Request& r) {
  QelHwStatus status =
      Need(r, sizeof(YatIocProcessingReadIn), sizeof(YatIocProcessingReadIn32), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  YatIocProcessingReadIn in{};
  if (!r.narrow) {
    in = Read<YatIocProcessingReadIn>(r);
  } else {
    const auto narrow = Read<YatIocProcessingReadIn32>(r);
    in = {narrow.header, narrow.unit, narrow.address, narrow.count, narrow.userAddress};
  }
  if (in.userAddress == 0) return QELHW_ERROR_ARG_INVALID;
  if (in.count > kMaxProcessingWords) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  ListBuffer words(4ull * in.count);
  if (!words.ok()) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  status = Yat_ReadProcessingMemory(r.context->board, in.unit, in.address, words.as<std::uint32_t>(), in.count);
  return status == QELHW_OK ? words.to(in.userAddress) : status;
}

QelHwStatus WriteCommand(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatIocWriteCmdIn), sizeof(YatIocWriteCmdIn), sizeof(YatIocStatus));
  if (status != QELHW_OK) return status;
  const auto in = Read<YatIocWriteCmdIn>(r);
  if (in.index >= kYatChannels) return QELHW_ERROR_IOC_FUNCTION;
  YatBoardExtension* board = r.context->board;
  switch (in.kind) {
    case YAT_WRITE_CMD_PIXEL_CLOCK:
      board->disablePixelClockInterrupt[in.index] = in.value;
      STAVRO_LOG(kLogTrace, "%s: DisablePixelClockInterrupt[%d] = %d", static_cast<int>(in.index),
                 static_cast<int>(in.value));
      return QELHW_OK;
    case YAT_WRITE_CMD_ABORT_DELAY:
      if (in.value == 0 || in.value > kMaxAbortDelay) {
        STAVRO_LOG(kLogError, "%s: YAT_IOCTRL_WRITE_CMD_XFER_ABORT_DELAY: %d", static_cast<int>(in.value));
        return QELHW_ERROR_PARAMETER_INVALID;
      }
      board->transferAbortDelay = in.value;
      STAVRO_LOG(kLogTrace, "%s: YAT_IOCTRL_WRITE_CMD_XFER_ABORT_DELAY = %d", static_cast<int>(in.value));
      return QELHW_OK;
    default: return QELHW_ERROR_IOC_FUNCTION;
  }
}

QelHwStatus Serve(const Request& r) {
  switch (r.context->code) {
    case YAT_IOCTRL_WRITE_REG: return WriteRegister(r);
    case YAT_IOCTRL_READ_REG: return ReadRegister(r);
    case YAT_IOCTRL_SET_BITS_REG: return SetBits(r);
    case YAT_IOCTRL_WRITE_CACHE: return Cache(r, true);
    case YAT_IOCTRL_READ_CACHE: return Cache(r, false);
    case YAT_IOCTRL_WRITE_MEMORY: return Memory(r, true);
    case YAT_IOCTRL_READ_MEMORY: return Memory(r, false);
    case YAT_IOCTRL_LOAD_FPG: return LoadFpga(r);
    case YAT_IOCTRL_GET_MEMORY_SIZE: return MemorySize(r);
    case YAT_IOCTRL_FILL_MEMORY: return Fill(r);
    case YAT_IOCTRL_UNLOAD_FPG: return Unload(r);
    case YAT_IOCTRL_WRITE_BLOCK_REG: return RegisterList(r, true);
    case YAT_IOCTRL_READ_BLOCK_REG: return RegisterList(r, false);
    case YAT_IOCTRL_WRITE_BLOCK_INDEX_REG: return IndexList(r, true);
    case YAT_IOCTRL_READ_BLOCK_INDEX_REG: return IndexList(r, false);
    case YAT_IOCTRL_WRITE_PROCESSING_MEMORY: return ProcessingWrite(r);
    case YAT_IOCTRL_READ_PROCESSING_MEMORY: return ProcessingRead(r);
    case YAT_IOCTRL_WRITE_CMD: return WriteCommand(r);
    default: return QELHW_ERROR_IOC_FUNCTION;
  }
}

}  // namespace

QelHwStatus Yat_Ioc_Section3(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  const bool narrow = (code & YAT_IOCTRL_WIDTH_BIT) == 0;
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 3, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  if (context.board == nullptr) return YatIocAnswer(output, outputLength, QELHW_ERROR_NO_BOARD_FOUND);
  return YatIocAnswer(output, outputLength, Serve(Request{&context, narrow}));
}
