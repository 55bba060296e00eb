#include "driver/kernel/FpgaConfig.h"

#include <cstring>

#include "driver/kernel/BoardControl.h"
#include "driver/kernel/KernelServices.h"
#include "driver/kernel/MutexHold.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/registers.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

struct FpgaControl {
  std::uint32_t control;
  std::uint32_t program, clock, data;
  std::uint32_t idleBits, programIdle;
  std::uint32_t doneRegister, doneMask;
  std::uint32_t holdUs;
};

constexpr FpgaControl kFpgaControl[3] = {
    {0x10004, 0x4, 0x2, 0x1, 0x0, 0x0, 0x10004, 0x8, 0},
    {0x808, 0x1, 0x2, 0x4, 0x8, 0x1, 0x814, 0x100000, 1},
    {0x45C, 0x4, 0x1, 0x2, 0x0, 0x0, 0x45C, 0x100000, 0},
};

constexpr std::uint32_t kPageBytes = 4096;
constexpr std::uint32_t kClosingBits = 100;
constexpr std::uint32_t kTagLoadBuffer = StavroPoolTag('F');
constexpr std::uint32_t kRegXioControl = 0x804;
constexpr std::uint32_t kXioRestart = 0x40;
constexpr std::uint32_t kRegXioStatus = 0x814;
constexpr std::uint32_t kXioConfigured = 0x001;
constexpr std::uint32_t kRegExpansion = 0x45C;
constexpr std::uint32_t kExpansionBit5 = 0x20;
constexpr std::uint32_t kRegDmaControl = 0x10004;
constexpr std::uint32_t kDmaControlResume = 0x8;
constexpr std::uint32_t kRegFpgaId = 0x400;
constexpr std::uint32_t kRegDmaReady = 0x10008;
constexpr std::uint32_t kRegDmaEnables = 0x10010;
constexpr std::uint32_t kDmaEnableHost = 0x1;
constexpr std::uint32_t kMasterEnable = 0x1;

bool Bar0Mapped(const YatBoardExtension* board) { return board->rangeCount > 0 && board->ranges[0].mapped != nullptr; }

void Wait(std::int64_t ms) { delay_execution(relative_milliseconds(ms)); }

// The pool buffer of one load, freed with it.
class LoadBuffer {
 public:
  LoadBuffer() : bytes_(static_cast<std::uint8_t*>(allocate_pool(PoolType::kPaged, kPageBytes, kTagLoadBuffer))) {}
  ~LoadBuffer() {
    if (bytes_ != nullptr) free_pool_with_tag(bytes_, kTagLoadBuffer);
  }
  LoadBuffer(const LoadBuffer&) = delete;
  LoadBuffer& operator=(const LoadBuffer&) = delete;
  std::uint8_t* get() const { return bytes_; }

 private:
  std::uint8_t* bytes_;
};

QelHwStatus SendBit(YatBoardExtension* board, const FpgaControl& row, bool one) {
  const std::uint32_t value = row.idleBits | row.programIdle | (one ? row.data : 0);
  const std::uint32_t steps[3] = {value, value | row.clock, value};
  for (std::uint32_t step : steps) {
    QelHwStatus status = Yat_WriteReg(board, row.control, step);
    if (status != QELHW_OK) return status;
    if (row.holdUs != 0) stall_execution(row.holdUs);
  }
  return QELHW_OK;
}

QelHwStatus SendBytes(YatBoardExtension* board, const FpgaControl& row, const std::uint8_t* bytes,
                      std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      QelHwStatus status = SendBit(board, row, ((bytes[i] >> bit) & 1) != 0);
      if (status != QELHW_OK) return status;
    }
  }
  return QELHW_OK;
}

// Where the image's pages come from: the caller's memory or a file.
struct ImageSource {
  std::uint64_t userAddress;
  KernelFile* file;
  std::uint64_t size;
};

QelHwStatus ReadPage(const ImageSource& source, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length) {
  if (source.file == nullptr) {
    if (!plat::nt_success(copy_from_caller(source.userAddress + offset, buffer, length)))
      return QELHW_ERROR_PARAMETER_INVALID;
    return QELHW_OK;
  }
  std::uint32_t read = 0;
  const plat::NtStatus nt = read_file(source.file, buffer, length, &offset, &read);
  if (!plat::nt_success(nt) || read != length) {
    STAVRO_LOG(kLogError, "%s: >YatReadFile< Unable to read file status = 0x%08x", static_cast<unsigned>(nt));
    return QELHW_ERROR_FILE_READ;
  }
  return QELHW_OK;
}

QelHwStatus ReadDone(YatBoardExtension* board, std::uint32_t fpgaId, const char* who) {
  const FpgaControl& row = kFpgaControl[fpgaId];
  QelHwStatus status = QELHW_OK;
  if (fpgaId == kYatFpgaXio) {
    std::uint32_t control = 0;
    Wait(1);
    status = Yat_ReadReg(board, kRegXioControl, &control);
    Wait(1);
    if (status == QELHW_OK) status = Yat_WriteReg(board, kRegXioControl, control | kXioRestart);
    Wait(1);
    if (status == QELHW_OK) status = Yat_WriteReg(board, kRegXioControl, control & ~kXioRestart);
    if (status != QELHW_OK) return status;
  }
  Wait(5);
  std::uint32_t done = 0;
  status = Yat_ReadReg(board, row.doneRegister, &done);
  if (status != QELHW_OK) return status;
  if (fpgaId == kYatFpgaXio) {
    std::uint32_t xio = 0;
    if (YatReadBoardRegister(board, kRegXioStatus, &xio) != QELHW_OK || (xio >> 20) != kXioConfigured) done = 0;
  }
  if ((done & row.doneMask) == 0) {
    STAVRO_LOG(kLogError, "%s: <%s> FPGA not programmed", who);
    return QELHW_ERROR_FPGA_NOT_LOADED;
  }
  return QELHW_OK;
}

// The serial configuration protocol around the image's bytes.
QelHwStatus Configure(YatBoardExtension* board, std::uint32_t fpgaId, const ImageSource& source, const char* who) {
  const FpgaControl& row = kFpgaControl[fpgaId];
  LoadBuffer buffer;
  if (buffer.get() == nullptr) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  QelHwStatus status = Yat_WriteReg(board, row.control, row.idleBits | row.programIdle);
  if (status == QELHW_OK) status = YatBoardControlPulse(board, fpgaId);
  for (std::uint64_t offset = 0; status == QELHW_OK && offset < source.size; offset += kPageBytes) {
    const auto length = static_cast<std::uint32_t>(source.size - offset < kPageBytes ? source.size - offset : kPageBytes);
    status = ReadPage(source, offset, buffer.get(), length);
    if (status == QELHW_OK) status = SendBytes(board, row, buffer.get(), length);
  }
  for (std::uint32_t bit = 0; status == QELHW_OK && bit < kClosingBits; ++bit) status = SendBit(board, row, false);
  const QelHwStatus closing = Yat_WriteReg(board, row.control, row.programIdle);
  if (status == QELHW_OK) status = closing;
  if (status == QELHW_OK && Bar0Mapped(board)) status = ReadDone(board, fpgaId, who);
  return status;
}

QelHwStatus RebuildRegisterMap(YatBoardExtension* board) {
  QelHwStatus status = QELHW_OK;
  if (board->registers.built) status = CloseResourceManager(board, true, true);
  if (status == QELHW_OK) status = Yat_InitResourceMan(board);
  return status;
}

// After the main FPGA's load: the map rebuilt, serial ports and the interrupt back.
QelHwStatus RestartAfterMainLoad(YatBoardExtension* board, QelHwStatus status, std::uint32_t savedMask) {
  if (status == QELHW_OK) status = RebuildRegisterMap(board);
  if (status == QELHW_OK) {
    std::uint32_t ready = 0;
    status = Yat_ReadReg(board, kRegDmaReady, &ready);
    const QelHwStatus resume = Yat_SetBitsReg(board, kRegDmaControl, kDmaControlResume, kDmaControlResume);
    if (status == QELHW_OK) {
      status = CreateSerialPorts(board);
      if (status == QELHW_OK) status = EnableMasterInterrupt(board);
    }
    if (status == QELHW_OK) status = resume;
    if (status == QELHW_OK) return QELHW_OK;
  }
  STAVRO_LOG(kLogError, "%s:ERROR <YAT_IOCTRL_LOAD_FPG>< Device Manager Disable");
  RestoreInterruptSources(board, savedMask);
  status = CreateSerialPorts(board);
  const QelHwStatus master = EnableMasterInterrupt(board);
  return status != QELHW_OK ? status : master;
}

QelHwStatus LoadSecondary(YatBoardExtension* board, const YatFpgaLoadArgs& args) {
  if (args.fileName[0] != '\0') {
    KernelFile* file = nullptr;
    QelHwStatus status = YatOpenFile(args.fileName, &file);
    if (status != QELHW_OK) return status;
    status = FPGAsLoadFromFile(board, args.fpgaId, file);
    close_file(file);
    return status;
  }
  if (args.imageSize != 0 && args.imageAddress != 0)
    return FPGAsLoad(board, args.fpgaId, args.imageAddress, args.imageSize);
  return QELHW_OK;
}

}  // namespace

QelHwStatus YatBoardControlPulse(YatBoardExtension* board, std::uint32_t fpgaId) {
  if (fpgaId > kYatFpgaExpansion) return QELHW_ERROR_PARAMETER_INVALID;
  const FpgaControl& row = kFpgaControl[fpgaId];
  QelHwStatus status = Yat_WriteReg(board, row.control, row.idleBits | (row.programIdle ^ row.program));
  Wait(5);
  if (status == QELHW_OK) status = Yat_WriteReg(board, row.control, row.idleBits | row.programIdle);
  Wait(5);
  return status;
}

QelHwStatus FPGAsLoad(YatBoardExtension* board, std::uint32_t fpgaId, std::uint64_t imageAddress,
                      std::uint32_t imageSize) {
  if (fpgaId > kYatFpgaExpansion) return QELHW_ERROR_PARAMETER_INVALID;
  if (imageAddress == 0 || imageSize == 0) {
    STAVRO_LOG(kLogError, "%s: <FPGAsLoad> No data");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (imageSize > kYatMaxBitstreamBytes) {
    STAVRO_LOG(kLogError, "%s: <FPGAsLoad> Image too large (%u bytes)", imageSize);
    return QELHW_ERROR_ARG_INVALID;
  }
  return Configure(board, fpgaId, ImageSource{imageAddress, nullptr, imageSize}, "FPGAsLoad");
}

QelHwStatus FPGAsLoadFromFile(YatBoardExtension* board, std::uint32_t fpgaId, KernelFile* file) {
  if (fpgaId > kYatFpgaExpansion || file == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  std::uint64_t size = 0;
  const plat::NtStatus nt = query_file_size(file, &size);
  if (!plat::nt_success(nt)) {
    STAVRO_LOG(kLogError, "%s: >YatGetFileSize< Unable to access file status = 0x%08x", static_cast<unsigned>(nt));
    return QELHW_ERROR_FILE_READ;
  }
  if (size > kYatMaxBitstreamBytes) {
    STAVRO_LOG(kLogError, "%s: <FPGAsLoadFromFile> File too large (%llu bytes)", static_cast<unsigned long long>(size));
    return QELHW_ERROR_ARG_INVALID;
  }
  return Configure(board, fpgaId, ImageSource{0, file, size}, "FPGAsLoadFromFile");
}

// Two loads of one board never overlap, nor a load and a reset, a reload or
// a rebuild of the register map: they all hold the configuration mutex.
QelHwStatus FPGA_load(YatBoardExtension* board, const YatFpgaLoadArgs& args) {
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  if (args.fpgaId > kYatFpgaExpansion) {
    STAVRO_LOG(kLogError, "%s: FPGA_load: invalid fpga id = %d", static_cast<int>(args.fpgaId));
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  YatMutexHold configuring(&board->configurationMutex);
  QelHwStatus status = QELHW_OK;
  if (args.fpgaId == kYatFpgaExpansion) {
    std::uint32_t value = 0;
    status = Yat_ReadReg(board, kRegExpansion, &value);
    if (status == QELHW_OK) status = Yat_WriteReg(board, kRegExpansion, value & ~kExpansionBit5);
  }
  if (args.fpgaId != kYatFpgaMain) return status == QELHW_OK ? LoadSecondary(board, args) : status;

  std::uint32_t savedMask = 0;
  status = YatRemoveSerialPorts(board);
  SetInterruptMask(board, 0, kMasterEnable);
  StopInterruptSources(board, &savedMask);
  if (status == QELHW_OK) status = Yat_SetBitsReg(board, kRegDmaControl, kDmaControlResume, kDmaControlResume);
  if (status == QELHW_OK) status = YatReadBoardRegister(board, kRegFpgaId, &board->fpgaId);
  return RestartAfterMainLoad(board, status, savedMask);
}

QelHwStatus YatStopBoard(YatBoardExtension* board) {
  if (!Bar0Mapped(board)) return QELHW_ERROR_RESOURCE_RANGE;
  if (board->registers.built) {
    std::uint32_t saved = 0;
    StopInterruptSources(board, &saved);
  }
  return YatBoardControlPulse(board, kYatFpgaMain);
}

QelHwStatus YatUnloadFpga(YatBoardExtension* board, std::uint32_t fpgaId) {
  if (fpgaId > kYatFpgaExpansion) return QELHW_ERROR_PARAMETER_INVALID;
  YatMutexHold configuring(&board->configurationMutex);
  if (fpgaId != kYatFpgaMain) return YatBoardControlPulse(board, fpgaId);
  std::uint32_t saved = 0;
  StopInterruptSources(board, &saved);
  YatStopBoard(board);
  return QELHW_OK;
}

QelHwStatus Yat_ResetVirtex(YatBoardExtension* board) {
  YatMutexHold configuring(&board->configurationMutex);
  std::uint32_t ports = 0;
  QelHwStatus status = GetSerialPortCount(board, &ports);
  const bool running = board->registers.built != 0;
  std::uint32_t savedMask = 0;
  if (running) {
    StopInterruptSources(board, &savedMask);
    status = QELHW_OK;
  }
  if (status != QELHW_OK) {
    STAVRO_LOG(kLogError, "%s: Yat_ResetVirtex: ");
    return status;
  }
  wait_for_object(&board->eepromMutex, nullptr);
  const bool interruptsWereOn = (savedMask | board->interruptMaskWord) & kMasterEnable;
  SetInterruptMask(board, 0, kMasterEnable);
  status = Yat_SetBitsReg(board, kRegDmaEnables, kDmaEnableHost, kDmaEnableHost);
  const std::uint8_t accessWas = board->registers.accessEnabled;
  board->registers.accessEnabled = 0;
  if (status == QELHW_OK && Bar0Mapped(board)) {
    volatile std::uint32_t* reset = board->ranges[0].mapped + kRegDmaReady / 4;
    for (std::uint32_t value : {0u, 1u, 0u}) {
      write_register32(reset, value);
      memory_barrier();
      stall_execution(1);  // well past the 50 ns the logic needs
    }
  }
  board->registers.accessEnabled = accessWas;
  const QelHwStatus dmaOff = Yat_SetBitsReg(board, kRegDmaEnables, 0, kDmaEnableHost);
  if (status == QELHW_OK) status = dmaOff;
  if (status != QELHW_OK) STAVRO_LOG(kLogError, "%s: Yat_ResetVirtex: ");
  Wait(200);
  if (status == QELHW_OK && interruptsWereOn) SetInterruptMask(board, kMasterEnable, kMasterEnable);
  release_mutex(&board->eepromMutex);
  if (!running || status != QELHW_OK) return status;
  SetInterruptMask(board, savedMask, ~kMasterEnable);
  status = RebuildRegisterMap(board);
  if (status == QELHW_OK) status = EnableMasterInterrupt(board);
  return status;
}

void YatStopBoardActivity(YatBoardExtension* board) { YatStopBoard(board); }
QelHwStatus YatResetFpga(YatBoardExtension* board) { return Yat_ResetVirtex(board); }
