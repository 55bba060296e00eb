// Slots 18 and 19 of the device interface table: raw register and register
// block access to the device's board (260-263); every other command number
// goes to the custom commands.
#include <vector>

#include "source/QelAcq/AcqCmdArgs.h"
#include "source/QelAcq/AcqFpgaRegs.h"
#include "source/QelAcq/AcqOthStruct.h"

namespace {

constexpr std::uint32_t kBlockRecordBytes = 16;
constexpr std::uint32_t kRegisterRecordBytes = 8;
constexpr std::uint32_t kMaxBlockPairs = 1024;
constexpr std::uint32_t kRegisterWindow = 0x20000;

// The block a 260 or 261 record names: a whole number of (register, value)
// pairs, at most kMaxBlockPairs, readable, each register inside the window.
QelStatus ClientBlock(const AcqCmdArgs& args, std::vector<YatRegisterPairs>* pairs) {
  const std::uint32_t length = args.field<std::uint32_t>(0);
  if (length == 0 || length % sizeof(YatRegisterPairs) != 0) return kAcqCmdInputMissing;
  const QelStatus status = AcqReadClientPairs(args.field<std::uint64_t>(4),
                                              length / sizeof(YatRegisterPairs), kMaxBlockPairs, pairs);
  if (status != 0) return status;
  for (const YatRegisterPairs& pair : *pairs)
    if (pair.reg >= kRegisterWindow || pair.reg % 4 != 0) return kAcqCmdInputMissing;
  return 0;
}

// Register-block statuses go back as the board library gives them. A read
// lands in the caller's block through the driver's checked copy.
QelStatus RegisterBlock(const AcqCmdArgs& args, bool write) {
  QelStatus status = AcqCmdNeedInput(args, kBlockRecordBytes);
  if (status == 0) status = AcqCmdNeedOutput(args, kBlockRecordBytes);
  std::vector<YatRegisterPairs> pairs;
  if (status == 0) status = ClientBlock(args, &pairs);
  if (status != 0) return status;
  const auto count = static_cast<std::uint32_t>(pairs.size());
  const QelHwStatus hw =
      write ? Yat_FPGA_WriteBlockReg(args.board, pairs.data(), count)
            : Yat_FPGA_ReadBlockReg(args.board, reinterpret_cast<YatRegisterPairs*>(args.field<std::uint64_t>(4)),
                                    count);
  std::memcpy(args.out, args.in, kBlockRecordBytes);
  return static_cast<QelStatus>(hw);
}

QelStatus ReadRegister(const AcqCmdArgs& args) {
  QelStatus status = AcqCmdNeedInput(args, kRegisterRecordBytes);
  if (status == 0) status = AcqCmdNeedOutput(args, kRegisterRecordBytes);
  if (status != 0) return status;
  const std::uint32_t reg = args.field<std::uint32_t>(0);
  std::uint32_t value = 0;
  status = FpgaReadReg(args.board, reg, &value);
  args.put<std::uint32_t>(0, reg);
  args.put<std::uint32_t>(4, value);
  return status;
}

QelStatus WriteRegister(const AcqCmdArgs& args) {
  const QelStatus status = AcqCmdNeedInput(args, kRegisterRecordBytes);
  if (status != 0) return status;
  return FpgaWriteReg(args.board, args.field<std::uint32_t>(0), args.field<std::uint32_t>(4));
}

}  // namespace

QelStatus YatAcqPrivateCmd(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                           std::uint32_t outSize) {
  AcqCmdArgs args;
  const QelStatus status = AcqCmdArgsOf(handle, in, inSize, out, outSize, &args);
  if (status != 0) return status;
  switch (command) {
    case kAcqCmdReadBlock: return RegisterBlock(args, false);
    case kAcqCmdWriteBlock: return RegisterBlock(args, true);
    case kAcqCmdReadRegister: return ReadRegister(args);
    case kAcqCmdWriteRegister: return WriteRegister(args);
    default: return YatAcqCustomCmd(handle, command, in, inSize, out, outSize);
  }
}

QelStatus BoardOpNotSupported(QelHandle*, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t) {
  return kAcqCmdNotSupported;
}

QelStatus YatAcqPrivateCmd2(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize,
                            void* out, std::uint32_t outSize) {
  AcqCmdArgs args;
  const QelStatus status = AcqCmdArgsOf(handle, in, inSize, out, outSize, &args);
  return status != 0 ? status : BoardOpNotSupported(handle, command, in, inSize, out, outSize);
}

void AcqFillPrivateCommands(othStruct* table) {
  if (table == nullptr) return;
  table->privateRead = YatAcqPrivateCmd;
  table->privateWrite = YatAcqPrivateCmd2;
}
