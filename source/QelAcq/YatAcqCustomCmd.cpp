// The numbered custom commands of an acquisition device: each checks its
// firmware option first, then its input and output, then its ranges, and
// touches no register before every check passed.
#include "source/QelAcq/YatAcqCustomCmd.h"

#include <vector>

#include "qellib/QelLog.h"
#include "source/QelAcq/AcqCmdArgs.h"
#include "source/QelAcq/AcqFpgaRegs.h"

namespace {

constexpr char kModuleName[] = "Quillet.DLL";
constexpr std::uint32_t kBankFirst = 0x1280;
constexpr std::uint32_t kBankSize = 10;
constexpr std::uint32_t kMaxBankPairs = 1024;
constexpr std::uint32_t kMaxIndexPairs = 1024;
constexpr std::uint32_t kMaxProcessingWords = 1u << 20;
constexpr std::uint32_t kPoclFirst = 0x10028;
constexpr unsigned kOptionBank = 5;
constexpr unsigned kOptionBankBlock = 15;

QelStatus NeedOption(const AcqCmdArgs& args, unsigned bit) {
  std::uint16_t options = 0;
  const QelStatus status = AcqFirmwareOptions(args.board, &options);
  if (status != 0) return status;
  return ((options >> bit) & 1u) != 0 ? 0 : kAcqCmdNotSupported;
}

QelStatus ReadBank(const AcqCmdArgs& args) {
  QelStatus status = NeedOption(args, kOptionBank);
  if (status == 0) status = AcqCmdNeedInput(args, 8);
  if (status == 0) status = AcqCmdNeedOutput(args, 8);
  if (status != 0) return status;
  const std::uint32_t n = args.field<std::uint32_t>(0);
  args.put<std::uint32_t>(0, n);
  if (n >= kBankSize) return kAcqCmdIndexRange;
  std::uint32_t value = 0;
  status = FpgaReadReg(args.board, kBankFirst + 4 * n, &value);
  args.put<std::uint32_t>(4, value);
  return status;
}

QelStatus WriteBank(const AcqCmdArgs& args) {
  QelStatus status = NeedOption(args, kOptionBank);
  if (status == 0) status = AcqCmdNeedInput(args, 8);
  if (status != 0) return status;
  const std::uint32_t n = args.field<std::uint32_t>(0);
  if (n >= kBankSize) return kAcqCmdIndexRange;
  return FpgaWriteReg(args.board, kBankFirst + 4 * n, args.field<std::uint32_t>(4));
}

QelStatus WriteBankBlock(const AcqCmdArgs& args) {
  QelStatus status = NeedOption(args, kOptionBankBlock);
  if (status == 0) status = AcqCmdNeedInput(args, 16);
  if (status != 0) return status;
  std::vector<YatRegisterPairs> pairs;
  status = AcqReadClientPairs(args.field<std::uint64_t>(4), args.field<std::uint32_t>(0), kMaxBankPairs, &pairs);
  if (status != 0) return status;
  for (YatRegisterPairs& pair : pairs) {
    if (pair.reg >= kBankSize) return kAcqCmdIndexRange;
    pair.reg = kBankFirst + 4 * pair.reg;
  }
  return FpgaWriteBlock(args.board, pairs);
}

// 532 reads into the caller's block through the driver's checked copy; 533
// hands the board library a copy taken once.
QelStatus IndexBlock(const AcqCmdArgs& args, bool write) {
  QelStatus status = AcqCmdNeedInput(args, 16);
  if (status == 0) status = AcqCmdNeedOutput(args, 16);
  if (status != 0) return status;
  const std::uint32_t count = args.field<std::uint32_t>(0);
  const std::uint64_t address = args.field<std::uint64_t>(4);
  const std::uint32_t index = args.field<std::uint32_t>(12);
  std::vector<YatRegisterPairs> pairs;
  status = AcqReadClientPairs(address, count, kMaxIndexPairs, &pairs);
  if (status != 0) return status;
  const QelHwStatus hw = write ? Yat_FPGA_WriteBlockIndexReg(args.board, index, pairs.data(), count)
                               : Yat_FPGA_ReadBlockIndexReg(args.board, index,
                                                            reinterpret_cast<YatRegisterPairs*>(address), count);
  std::memcpy(args.out, args.in, 16);
  return TranslateStatus(hw);
}

QelStatus ReadProcessingMemory(const AcqCmdArgs& args) {
  QelStatus status = AcqCmdNeedInput(args, 8);
  if (status != 0) return status;
  const std::uint32_t offset = args.field<std::uint32_t>(0);
  const std::uint32_t count = args.field<std::uint32_t>(4);
  status = AcqCmdNeedOutput(args, 4ull * count);
  if (status != 0) return status;
  return TranslateStatus(Yat_Processing_Memory_Read(args.board, args.connector, offset,
                                                    reinterpret_cast<std::uint32_t*>(args.out), count));
}

QelStatus WriteProcessingMemory(const AcqCmdArgs& args) {
  QelStatus status = AcqCmdNeedInput(args, 16);
  if (status != 0) return status;
  const std::uint32_t offset = args.field<std::uint32_t>(0);
  const std::uint32_t count = args.field<std::uint32_t>(4);
  const std::uint64_t address = args.field<std::uint64_t>(8);
  if (count > kMaxProcessingWords) return kAcqCmdInputMissing;
  status = AcqCheckClientBlock(address, 4ull * count);
  if (status != 0) return status;
  std::vector<std::uint32_t> words(count);
  std::memcpy(words.data(), reinterpret_cast<const void*>(address), 4ull * count);
  return TranslateStatus(Yat_Processing_Memory_Write(args.board, args.connector, offset, words.data(), count));
}

QelStatus FrontEndParameter(const AcqCmdArgs& args) {
  const QelStatus status = AcqCmdNeedInput(args, 8);
  if (status != 0) return status;
  return TranslateStatus(Yat_FPGA_Custom_Cmi_SetPrm(args.board, args.connector, args.field<std::uint16_t>(0),
                                                    args.field<std::uint16_t>(2), args.field<std::uint32_t>(4)));
}

const char* TrueFalse(bool value) { return value ? "True" : "False"; }

QelStatus NamedSetting(const AcqCmdArgs& args) {
  QelStatus status = AcqCmdNeedInput(args, 8);
  if (status != 0) return status;
  const std::uint32_t value = args.field<std::uint32_t>(4);
  switch (args.field<std::uint32_t>(0)) {
    case 2:
      status = TranslateStatus(Yat_WriteCmd(args.board, args.connector, 2, value != 0 ? 1 : 0));
      LogPutLog(kQelLogTrace, __FILE__, __LINE__,
                "%s: YatAcqCustomCmd[YATLVDS_CUSTOM_ACQ_PARAM_PIXEL_CLOCK_INTERRUPT_DISABLE] = %s, %x", kModuleName,
                TrueFalse(value != 0), status);
      return status;
    case 3:
      status = FpgaSetBitReg(args.board, kPoclFirst + 4 * args.connector, value != 0 ? 1 : 0, 1);
      LogPutLog(kQelLogTrace, __FILE__, __LINE__,
                "%s: YatAcqCustomCmd[YAT_ACQ_CUSTOM_CMD_PARAM_POCL_12V_ON_ENABLE] = %s, %x", kModuleName,
                TrueFalse(value != 0), status);
      return status;
    case 4:
      status = TranslateStatus(Yat_WriteCmd(args.board, 0, 4, value));
      LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: YatAcqCustomCmd[YAT_ACQ_CUSTOM_CMD_XFER_ABORT_DELAY] = %d, %x",
                kModuleName, static_cast<int>(value), status);
      return status;
    default: return 0;
  }
}

QelStatus Dispatch(const AcqCmdArgs& args, std::uint32_t command) {
  switch (command) {
    case 264: return ReadBank(args);
    case 265: return WriteBank(args);
    case 272: return WriteBankBlock(args);
    case 528: case 529: case 530: case 531: return AcqKernelCommand(args, command);
    case 532: return IndexBlock(args, false);
    case 533: return IndexBlock(args, true);
    case 534: return ReadProcessingMemory(args);
    case 535: return WriteProcessingMemory(args);
    case 768: return FrontEndParameter(args);
    case 4096: return NamedSetting(args);
    default: return kAcqCmdNotSupported;
  }
}

}  // namespace

QelStatus YatAcqCustomCmd(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize) {
  AcqCmdArgs args;
  const QelStatus status = AcqCmdArgsOf(handle, in, inSize, out, outSize, &args);
  return status != 0 ? status : Dispatch(args, command);
}
