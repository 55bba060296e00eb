// Connecting a transfer: a fresh handle, its AL, LB and BH lists handed to
// the driver, the cycle mode, the host buffers' state words bound to the
// caller's slots, and the end-of-transfer event routed.
#include <cstring>

#include "driver/user/YatCallerMemory.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatTransfer.h"
#include "driver/user/YatTransferLists.h"
#include "qellib/QelLog.h"

namespace {

inline constexpr std::uint32_t kRouteHostTransfers = 7;
inline constexpr std::uint32_t kRouteEndOfTransfer = 0x80000000;
inline constexpr std::uint32_t kStateIndexMask = 0x1F;
inline constexpr std::uint32_t kStateIndirect = 1u << 28;
inline constexpr std::uint32_t kStateInverted = 1u << 30;
inline constexpr std::uint32_t kHostStateRead = 1;
inline constexpr std::uint32_t kHostStateWrite = 2;
inline constexpr std::uint32_t kExtraChannelMask = 0xF8;

void LogStatus(const char* token, std::uint32_t board, QelHwStatus status) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s %X", kPardowLabel, static_cast<int>(board), token,
            static_cast<unsigned>(status));
}
void LogLine(std::uint32_t board, const char* text) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s", kPardowLabel, static_cast<int>(board), text);
}

bool OutOfMemory(QelHwStatus status) {
  return status == QELHW_ERROR_INSUFFICIENT_MEMORY || status == QELHW_ERROR_SYSTEM_RESOURCE;
}

// A failure of the list computation, logged with its line.
void LogBuildFailure(std::uint32_t board, QelHwStatus status) {
  if (OutOfMemory(status))
    LogLine(board, "Yat_Transfer_Init QELHW_ERROR_INSUFFICIENT_MEMORY");
  else
    LogStatus("Yat_Transfer_Init", board, status);
}

void SetBit(std::uint64_t word, std::uint32_t bit, bool on) {
  const std::uint32_t mask = 1u << bit;
  YatWriteWord(word, on ? YatReadWord(word) | mask : YatReadWord(word) & ~mask);
}

QelHwStatus TakeResources(std::uint32_t board, const YatTransferInput& in, const YatTransferHandle& handle,
                          std::uint32_t slot, YatListResources* res) {
  const std::uint32_t groups = Yat_Transfer_HasLocalStages(in) ? Yat_Transfer_ChannelGroups(in) : 0;
  const std::uint32_t first = in.desc.dualMode == 2 ? 1 : 0;
  for (std::uint32_t g = 0; g < groups; ++g) {
    if (const QelHwStatus status = Yat_GetAcqDmaNumber(board, in.desc.camera, g + first, &res->acqDma[g]);
        status != QELHW_OK) {
      LogStatus("Yat_GetAcqDmaNumber", board, status);
      return status;
    }
  }
  for (std::uint32_t k = 0; k < YAT_TRANSFER_SLOTS; ++k) res->slotChannels[k] = handle.slots[k].hostDmaChannel;
  res->lbHostChannel = handle.slots[slot < 3 ? slot : 0].hostDmaChannel;
  res->bhHostChannel = handle.slots[0].hostDmaChannel;
  if (Yat_Man_GetMaxCamera(board, &res->cameraCount) != QELHW_OK) res->cameraCount = 1;
  return Yat_Man_GetInternalBusWidth(board, &res->busWidth);
}

QelHwStatus WriteRegisters(std::uint32_t board, const std::vector<YatRegisterWrite>& registers) {
  for (const YatRegisterWrite& w : registers) {
    const QelHwStatus status = w.mask == 0xFFFFFFFF ? Yat_FPGA_WriteDataReg(board, 0, w.reg, w.value)
                                                    : Yat_FPGA_SetBitReg(board, 0, w.reg, w.value, w.mask);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus SendLocalLists(std::uint32_t board, YatTransferHandle* handle, YatTransferLists* lists) {
  if (lists->al.empty()) return QELHW_OK;
  QelHwStatus status = Yat_DMA_Set_AL_Xfer(handle, static_cast<std::uint32_t>(lists->al.size()), lists->al.data());
  if (status == QELHW_OK)
    status = Yat_DMA_Set_LB_Xfer(handle, static_cast<std::uint32_t>(lists->lb.size()), lists->lb.data());
  if (status != QELHW_OK) LogStatus("Yat_Transfer_Init", board, status);
  return status;
}

QelHwStatus SendHostList(std::uint32_t board, YatTransferHandle* handle, YatTransferLists* lists) {
  QelHwStatus status = Yat_DMA_Set_BH_Xfer(handle, &lists->header, static_cast<std::uint32_t>(lists->bh.size()),
                                           lists->bh.data());
  if (status != QELHW_OK) {
    LogStatus("Yat_DMA_Set_BH_Xfer", board, status);
    return status;
  }
  handle->channelCounter += lists->channelsProgrammed;
  status = Yat_DMA_SetCycleMode(handle, lists->cycleMode);
  if (status != QELHW_OK) LogStatus("Yat_DMA_SetCycleMode", board, status);
  return status;
}

// A set state bit arms the buffer for the next frame, so an empty buffer is
// armed; the inverted sense of the state descriptor swaps that, as the
// indirect access does.
void BindDirect(const YatHostBufferEntry& entry, const YatBhBufferRecord& record) {
  YatWriteAddress(entry.stateSlotA, record.stateWordAddress);
  const bool inverted = entry.stateDescriptor != 0 && (YatReadWord(entry.stateDescriptor) & kStateInverted) != 0;
  const bool empty = entry.bufferFull == 0;
  SetBit(record.stateWordAddress, record.stateBit, empty != inverted);
}

// The state word of the next tap's record goes to slot B, armed like slot A's.
void BindNextTap(const YatHostBufferEntry& entry, const YatBhBufferRecord* next) {
  if (next == nullptr || entry.stateSlotB == 0 || next->stateWordAddress == 0) return;
  YatWriteAddress(entry.stateSlotB, next->stateWordAddress);
  SetBit(next->stateWordAddress, next->stateBit, entry.bufferFull == 0);
}

struct HostBinding {
  const std::vector<YatBhElement>& elements;
  const std::vector<std::uint64_t>& entries;  // the caller's host buffer entries
  bool severalTaps;
};

void BindStates(std::uint32_t board, const HostBinding& binding) {
  const std::size_t count = binding.elements.size();
  for (std::size_t j = 0; j < count; ++j) {
    const auto* records = YatAt<const YatBhBufferRecord>(binding.elements[j].buffers);
    const auto* next = j + 1 < count ? YatAt<const YatBhBufferRecord>(binding.elements[j + 1].buffers) : nullptr;
    const std::size_t recorded = binding.elements[j].bufferCount;
    for (std::size_t b = 0; b < binding.entries.size() && b < recorded; ++b) {
      auto* entry = YatAt<YatHostBufferEntry>(binding.entries[b]);
      if (entry->stateSlotA == 0) {
        LogLine(board, "Yat_Transfer_Init pHostBuffer[i].pState == NULL");
        continue;
      }
      YatWriteAddress(entry->stateSlotA, 0);
      if (count > 1 && entry->stateSlotB != 0) YatWriteAddress(entry->stateSlotB, 0);
      const YatBhBufferRecord& record = records[b];
      if (record.stateWordAddress == 0) {
        LogLine(board, "Yat_Transfer_Init cyclingInfo.pData == NULL");
        continue;
      }
      const bool indirect = entry->stateDescriptor != 0 && (YatReadWord(entry->stateDescriptor) & kStateIndirect) != 0;
      if (!indirect) {
        BindDirect(*entry, record);
        if (binding.severalTaps && next != nullptr) BindNextTap(*entry, &next[b]);
        continue;
      }
      YatWriteAddress(entry->stateSlotA, reinterpret_cast<std::uintptr_t>(&Yat_Transfer_HostStateAccess));
      YatWriteAddress(entry->stateSlotB, binding.entries[b]);
      if (j < YAT_HOST_BUFFER_STATE_WORDS) entry->stateWords[j] = record.stateWordAddress;
      Yat_Transfer_HostStateAccess(kHostStateWrite, entry, entry->bufferFull);
    }
  }
}

bool SeveralTaps(const YatTransferDesc& desc) { return desc.taps > 1 || desc.dualMode != 0; }

bool AnyFlipped(const YatTransferInput& in) {
  for (const YatHostBufferEntry& entry : in.hosts)
    if ((entry.entryFlags & YAT_ENTRY_VERTICAL_FLIP) != 0) return true;
  return false;
}

QelHwStatus SendExtraDestinations(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle,
                                  const YatTransferInput& in) {
  std::uint32_t enabled = 0;
  for (const std::vector<YatHostBufferEntry>& hosts : in.extraHosts)
    if (!hosts.empty()) ++enabled;
  for (std::uint32_t k = 0; k < YAT_EXTRA_DESTINATIONS; ++k) {
    if (in.extraHosts[k].empty()) continue;
    const QelHwStatus status = Yat_Transfer_Processing_BH(board, desc, handle, k, enabled + 1);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus ConnectHost(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle,
                        const YatTransferInput& in, YatTransferLists* lists) {
  QelHwStatus status = SendHostList(board, handle, lists);
  if (status != QELHW_OK) return status;
  status = SendExtraDestinations(board, desc, handle, in);
  if (status == QELHW_OK) {
    BindStates(board, {lists->bh, in.hostAddresses, SeveralTaps(in.desc)});
    status = Yat_Event_Route(board, desc->camera, kRouteHostTransfers, kRouteEndOfTransfer);
  }
  if (status != QELHW_OK) LogStatus("Yat_Transfer_Init", board, status);
  return status;
}

QelHwStatus Connect(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle, std::uint32_t slot,
                    YatTransferInput* in) {
  if (desc->localImageList == 0) {
    LogStatus("Yat_Transfer_Init", board, QELHW_ERROR_ARG_INVALID);
    return QELHW_ERROR_ARG_INVALID;
  }
  if (desc->extraLists[0] != 0 && desc->taps >= 2) {
    LogLine(board, "Do not support dual channel and dual destination at the same time.");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (const QelHwStatus status = Yat_Transfer_ReadInput(desc, in); status != QELHW_OK) {
    LogBuildFailure(board, status);
    return status;
  }
  YatListResources resources;
  if (const QelHwStatus status = TakeResources(board, *in, *handle, slot, &resources); status != QELHW_OK)
    return status;
  YatTransferLists lists;
  QelHwStatus status = Yat_Transfer_BuildLists(*in, resources, &lists);
  if (status == QELHW_ERROR_RESOURCE_NOT_ALLOCATED) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Transfer_Init QELHW_ERROR_RESOURCE_NOT_ALLOCATED", kPardowLabel);
    return status;
  }
  if (status == QELHW_OK) status = WriteRegisters(board, lists.registers);
  if (status != QELHW_OK) {
    LogBuildFailure(board, status);
    return status;
  }
  if (lists.linesMerged) desc->linesMerged = 1;
  if (lists.directHost) desc->taps = desc->tapInterleave = 1;
  if (lists.overflow && AnyFlipped(*in))
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Board %d, Yat_Transfer_Init Flipping Enable", kPardowLabel,
              static_cast<int>(board));
  if (slot < 3)
    if (status = SendLocalLists(board, handle, &lists); status != QELHW_OK) return status;
  if (status = ConnectHost(board, desc, handle, *in, &lists); status != QELHW_OK) return status;
  handle->slots[0].hostBufferList = desc->hostBufferList;
  return QELHW_OK;
}

// The caller's state descriptors would otherwise name state words of a
// transfer that is gone.
void ClearStateDescriptors(const YatTransferDesc& desc) {
  if (desc.hostBufferList == 0) return;
  const auto* list = YatAt<const YatHostBufferList>(desc.hostBufferList);
  if (list->entries == 0 || list->bufferCount > YAT_MAX_HOST_BUFFERS) return;
  for (std::uint32_t b = 0; b < list->bufferCount; ++b) {
    const auto* entry = YatAt<const YatHostBufferEntry>(list->entries + std::uint64_t{b} * sizeof(YatHostBufferEntry));
    if (entry->stateDescriptor != 0) YatWriteWord(entry->stateDescriptor, 0);
  }
}

}  // namespace

PARDOW_API QelHwStatus Yat_Transfer_Init(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle,
                                         std::uint32_t slot) {
  if (desc == nullptr) {
    LogStatus("Yat_Transfer_Init", board, QELHW_ERROR_ARG_INVALID);
    return QELHW_ERROR_ARG_INVALID;
  }
  if (const QelHwStatus status = Yat_Transfer_CreateHandle(board, desc->camera, handle); status != QELHW_OK)
    return status;
  QelHwStatus status = QELHW_OK;
  try {
    YatTransferInput input;
    status = Connect(board, desc, handle, slot, &input);
  } catch (const std::exception&) {
    // The lists' steps answer for their own memory; this is the last guard
    // of the export.
    LogLine(board, "Yat_Transfer_Init QELHW_ERROR_INSUFFICIENT_MEMORY");
    status = QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  if (status == QELHW_OK) return QELHW_OK;
  ClearStateDescriptors(*desc);
  Yat_Transfer_ReleaseHandle(handle);
  return status;
}

namespace {

QelHwStatus ProcessingBh(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle, std::uint32_t k) {
  if (desc == nullptr || !Yat_Transfer_isValidHandle(handle) || k + 1 >= YAT_TRANSFER_SLOTS) {
    LogStatus("Yat_Transfer_Init", board, QELHW_ERROR_ARG_INVALID);
    return QELHW_ERROR_ARG_INVALID;
  }
  YatTransferInput in;
  QelHwStatus status = Yat_Transfer_ReadInput(desc, &in);
  const std::uint32_t channel = handle->slots[k + 1].hostDmaChannel;
  YatHostLists lists;
  if (status == QELHW_OK) status = Yat_Transfer_BuildExtraHost(in, k, channel, &lists);
  if (status != QELHW_OK) {
    LogBuildFailure(board, status);
    return status;
  }
  handle->slots[k + 1].hostBufferList = desc->extraLists[k];
  status = Yat_FPGA_SetBitReg(board, desc->camera, YAT_REG_EXTRA_CHANNEL, channel << 4, kExtraChannelMask);
  if (status == QELHW_OK) status = Yat_DMA_Set_BH_Xfer(handle, &lists.header, 1, lists.elements.data());
  if (status != QELHW_OK) {
    LogStatus("Yat_DMA_Set_BH_Xfer", board, status);
    return status;
  }
  BindStates(board, {lists.elements, in.extraAddresses[k], false});
  return QELHW_OK;
}

}  // namespace

PARDOW_API QelHwStatus Yat_Transfer_Processing_BH(std::uint32_t board, YatTransferDesc* desc,
                                                  YatTransferHandle* handle, std::uint32_t k, std::uint32_t) {
  try {
    return ProcessingBh(board, desc, handle, k);
  } catch (const std::exception&) {
    LogLine(board, "Yat_Transfer_Init QELHW_ERROR_INSUFFICIENT_MEMORY");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
}

PARDOW_API std::uint32_t Yat_Transfer_HostStateAccess(std::uint32_t op, YatHostBufferEntry* entry,
                                                      std::uint32_t value) {
  if (entry == nullptr || entry->stateDescriptor == 0) return 0;
  const std::uint32_t descriptor = YatReadWord(entry->stateDescriptor);
  const std::uint32_t mask = 1u << (descriptor & kStateIndexMask);
  const std::uint32_t sense = (descriptor & kStateInverted) != 0 ? 0 : mask;
  if (op == kHostStateRead) return entry->stateWords[0] == 0 ? 0 : (YatReadWord(entry->stateWords[0]) & mask) ^ sense;
  if (op != kHostStateWrite) return 0;
  const bool on = ((value & mask) ^ sense) != 0;
  for (std::size_t i = YAT_HOST_BUFFER_STATE_WORDS; i-- > 0;) {
    const std::uint64_t word = entry->stateWords[i];
    if (word != 0) YatWriteWord(word, on ? YatReadWord(word) | mask : YatReadWord(word) & ~mask);
  }
  return 0;
}
