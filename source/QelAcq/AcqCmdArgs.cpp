#include "source/QelAcq/AcqCmdArgs.h"

#include <array>

#include "driver/user/YatBoardManager.h"
#include "platform/win/memory_probe.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"

namespace {
constexpr std::uint32_t kFirmwareRecordBytes = 92;
constexpr std::uint32_t kFirmwareOptionsOffset = 72;
}  // namespace

QelStatus AcqCmdArgsOf(const QelHandle* handle, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, AcqCmdArgs* args) {
  if (handle == nullptr || !AcqIsDeviceTag(handle->tag)) return kAcqInvalidHandle;
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = AcqGetDeviceRecord(handle, &record);
  if (status != 0) return status | kQelModuleAcquisition;
  args->board = record->boardIndex;
  args->connector = LowestBitIndex(record->resourceMask);
  args->in = static_cast<const std::uint8_t*>(in);
  args->inSize = inSize;
  args->out = static_cast<std::uint8_t*>(out);
  args->outSize = outSize;
  return 0;
}

QelStatus AcqCmdNeedInput(const AcqCmdArgs& args, std::uint32_t size) {
  if (args.in == nullptr) return kAcqCmdInputMissing;
  return args.inSize == size ? 0 : kAcqCmdInputSize;
}

QelStatus AcqCmdNeedOutput(const AcqCmdArgs& args, std::uint64_t size) {
  if (args.out == nullptr) return kAcqCmdOutputMissing;
  return args.outSize == size ? 0 : kAcqCmdOutputSize;
}

QelStatus AcqCheckClientBlock(std::uint64_t address, std::uint64_t bytes) {
  if (address == 0 || address + bytes < address) return kAcqCmdInputMissing;
  return plat::memory_readable(reinterpret_cast<const void*>(address), bytes) ? 0 : kAcqCmdInputMissing;
}

QelStatus AcqReadClientPairs(std::uint64_t address, std::uint32_t count, std::uint32_t limit,
                             std::vector<YatRegisterPairs>* pairs) {
  if (count > limit) return kAcqCmdInputMissing;
  pairs->assign(count, YatRegisterPairs{});
  if (count == 0) return 0;
  const std::uint64_t bytes = std::uint64_t{count} * sizeof(YatRegisterPairs);
  const QelStatus status = AcqCheckClientBlock(address, bytes);
  if (status != 0) return status;
  std::memcpy(pairs->data(), reinterpret_cast<const void*>(address), bytes);
  return 0;
}

QelStatus AcqFirmwareOptions(std::uint32_t board, std::uint16_t* options) {
  std::array<std::uint8_t, kFirmwareRecordBytes> record{};
  const QelStatus status = TranslateStatus(Yat_Man_GetVirtex2Info(board, record.data()));
  *options = status == 0 ? AcqField16(record.data(), kFirmwareOptionsOffset) : 0;
  return status;
}

// A failing query counts as no kernel.
bool AcqKernelAvailable(std::uint32_t board) {
  std::uint32_t available = 0;
  return Yat_FPGA_IsKerneldAvailable(board, 0, &available) == QELHW_OK && available != 0;
}
