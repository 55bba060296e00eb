// The processing kernel's commands: its 14 coefficients packed into nine
// FPGA registers (528 write, 529 read) and its control bits in 0x804
// (530, 531).
#include <array>

#include "source/QelAcq/AcqCmdArgs.h"
#include "source/QelAcq/AcqFpgaRegs.h"

namespace {

constexpr std::uint32_t kKernelFirst = 0x501C;
constexpr std::uint32_t kKernelRegisters = 9;
constexpr std::uint32_t kCoefficients = 14;
constexpr std::uint32_t kKernelControl = 0x804;
constexpr std::uint32_t kPairListBytes = 16;

enum class Part : std::uint8_t { kWhole, kLow, kHigh };
struct Coefficient {
  std::uint32_t reg;
  Part part;
};
constexpr std::array<Coefficient, kCoefficients> kLayout = {{
    {4, Part::kHigh}, {5, Part::kWhole}, {6, Part::kWhole}, {7, Part::kWhole}, {8, Part::kWhole},
    {0, Part::kLow},  {0, Part::kHigh},  {1, Part::kLow},   {1, Part::kHigh},  {2, Part::kLow},
    {2, Part::kHigh}, {3, Part::kLow},   {3, Part::kHigh},  {4, Part::kLow},
}};

constexpr std::uint32_t RegisterOf(std::uint32_t r) { return kKernelFirst + 4 * r; }

std::uint32_t Replace(std::uint32_t word, Part part, std::uint32_t value) {
  switch (part) {
    case Part::kLow: return (word & 0xFFFF0000u) | (value & 0xFFFFu);
    case Part::kHigh: return (word & 0x0000FFFFu) | ((value & 0xFFFFu) << 16);
    default: return value;
  }
}

std::uint32_t Extract(std::uint32_t word, Part part) {
  switch (part) {
    case Part::kLow: return word & 0xFFFFu;
    case Part::kHigh: return word >> 16;
    default: return word;
  }
}

QelStatus WriteCoefficients(const AcqCmdArgs& args) {
  if (!AcqKernelAvailable(args.board)) return kAcqCmdNotSupported;
  QelStatus status = AcqCmdNeedInput(args, kPairListBytes);
  if (status != 0) return status;
  std::vector<YatRegisterPairs> changes;
  status = AcqReadClientPairs(args.field<std::uint64_t>(4), args.field<std::uint32_t>(0), kCoefficients, &changes);
  if (status != 0) return status;
  for (const YatRegisterPairs& change : changes)
    if (change.reg >= kCoefficients) return kAcqCmdIndexRange;
  std::array<YatRegisterPairs, kKernelRegisters> block{};
  for (std::uint32_t r = 0; r < kKernelRegisters; ++r) {
    block[r].reg = RegisterOf(r);
    status = FpgaReadReg(args.board, block[r].reg, &block[r].value);
    if (status != 0) return status;
  }
  for (const YatRegisterPairs& change : changes) {
    const Coefficient& c = kLayout[change.reg];
    block[c.reg].value = Replace(block[c.reg].value, c.part, change.value);
  }
  return FpgaWriteBlock(args.board, block);
}

QelStatus ReadCoefficient(const AcqCmdArgs& args) {
  if (!AcqKernelAvailable(args.board)) return kAcqCmdNoKernel;
  QelStatus status = AcqCmdNeedInput(args, 8);
  if (status == 0) status = AcqCmdNeedOutput(args, 8);
  if (status != 0) return status;
  const std::uint32_t id = args.field<std::uint32_t>(0);
  if (id >= kCoefficients) return kAcqCmdCoefficientRange;
  std::uint32_t word = 0;
  status = FpgaReadReg(args.board, RegisterOf(kLayout[id].reg), &word);
  if (status != 0) return status;
  args.put<std::uint32_t>(0, id);
  args.put<std::uint32_t>(4, Extract(word, kLayout[id].part));
  return 0;
}

QelStatus SetControlBits(const AcqCmdArgs& args, std::uint32_t command) {
  if (!AcqKernelAvailable(args.board)) return kAcqCmdNoKernel;
  const QelStatus status = AcqCmdNeedInput(args, 4);
  if (status != 0) return status;
  const std::uint32_t flag = args.field<std::uint32_t>(0);
  if (command == 530) return FpgaSetBitReg(args.board, kKernelControl, (flag & 1u) | 2u, 3u);
  return FpgaSetBitReg(args.board, kKernelControl, flag != 0 ? 0x80000000u : 0u, 0x80000000u);
}

}  // namespace

QelStatus AcqKernelCommand(const AcqCmdArgs& args, std::uint32_t command) {
  switch (command) {
    case 528: return WriteCoefficients(args);
    case 529: return ReadCoefficient(args);
    default: return SetControlBits(args, command);
  }
}
