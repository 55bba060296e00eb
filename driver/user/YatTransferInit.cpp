// Connecting a transfer: a fresh handle, its AL, LB and BH lists handed to
// the driver, the cycle mode, the host buffers' state words bound to the
// caller's slots, and the end-of-transfer event routed.
#include <cstring>

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

void LogStatus(const char* token, std::uint32_t board, QelHwStatus status) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s %X", kPardowLabel, static_cast<int>(board), token,
            static_cast<unsigned>(status));
}
void LogLine(std::uint32_t board, const char* text) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s", kPardowLabel, static_cast<int>(board), text);
}

template <class T>
T* At(std::uint64_t address) {
  return reinterpret_cast<T*>(static_cast<std::uintptr_t>(address));
}

std::uint32_t ReadWord(std::uint64_t address) {
  std::uint32_t value = 0;
  std::memcpy(&value, At<void>(address), sizeof value);
  return value;
}
void WriteWord(std::uint64_t address, std::uint32_t value) { std::memcpy(At<void>(address), &value, sizeof value); }
void WriteAddress(std::uint64_t slot, std::uint64_t value) { std::memcpy(At<void>(slot), &value, sizeof value); }
void SetBit(std::uint64_t word, std::uint32_t bit, bool on) {
  const std::uint32_t mask = 1u << bit;
  WriteWord(word, on ? ReadWord(word) | mask : ReadWord(word) & ~mask);
}

QelHwStatus TakeResources(std::uint32_t board, const YatTransferInput& in, const YatTransferHandle& handle,
                          std::uint32_t slot, YatListResources* res) {
  const std::uint32_t groups = Yat_Transfer_ChannelGroups(in);
  const std::uint32_t first = in.desc.dualMode == 2 ? 1 : 0;
  for (std::uint32_t g = 0; g < groups; ++g) {
    if (const QelHwStatus status = Yat_GetAcqDmaNumber(board, in.desc.camera, g + first, &res->acqDma[g]);
        status != QELHW_OK) {
      LogStatus("Yat_GetAcqDmaNumber", board, status);
      return status;
    }
  }
  res->lbHostChannel = handle.slots[slot < 3 ? slot : 0].hostDmaChannel;
  res->bhHostChannel = handle.slots[0].hostDmaChannel;
  return Yat_Man_GetInternalBusWidth(board, &res->busWidth);
}

QelHwStatus SendLists(std::uint32_t board, YatTransferHandle* handle, std::uint32_t slot, YatTransferLists* lists) {
  if (slot < 3) {
    QelHwStatus status = Yat_DMA_Set_AL_Xfer(handle, static_cast<std::uint32_t>(lists->al.size()), lists->al.data());
    if (status == QELHW_OK)
      status = Yat_DMA_Set_LB_Xfer(handle, static_cast<std::uint32_t>(lists->lb.size()), lists->lb.data());
    if (status != QELHW_OK) {
      LogStatus("Yat_Transfer_Init", board, status);
      return status;
    }
  }
  QelHwStatus status = Yat_DMA_Set_BH_Xfer(handle, &lists->header, static_cast<std::uint32_t>(lists->bh.size()),
                                           lists->bh.data());
  if (status != QELHW_OK) {
    LogStatus("Yat_DMA_Set_BH_Xfer", board, status);
    return status;
  }
  status = Yat_DMA_SetCycleMode(handle, lists->cycleMode);
  if (status != QELHW_OK) LogStatus("Yat_DMA_SetCycleMode", board, status);
  return status;
}

// A set state bit arms the buffer for the next frame, so an empty buffer is
// armed; the inverted sense of the state descriptor swaps that, as the
// indirect access does.
void BindDirect(const YatHostBufferEntry& entry, const YatBhBufferRecord& record) {
  WriteAddress(entry.stateSlotA, record.stateWordAddress);
  const bool inverted = entry.stateDescriptor != 0 && (ReadWord(entry.stateDescriptor) & kStateInverted) != 0;
  const bool empty = entry.bufferFull == 0;
  SetBit(record.stateWordAddress, record.stateBit, empty != inverted);
}

void BindStates(std::uint32_t board, const YatTransferInput& in, const YatTransferLists& lists) {
  const bool severalElements = lists.bh.size() > 1;
  for (std::size_t j = 0; j < lists.bh.size() && j < YAT_HOST_BUFFER_STATE_WORDS; ++j) {
    const auto* records = At<const YatBhBufferRecord>(lists.bh[j].buffers);
    for (std::size_t b = 0; b < in.hosts.size(); ++b) {
      auto* entry = At<YatHostBufferEntry>(in.hostAddresses[b]);
      if (entry->stateSlotA == 0) {
        LogLine(board, "Yat_Transfer_Init pHostBuffer[i].pState == NULL");
        continue;
      }
      WriteAddress(entry->stateSlotA, 0);
      if (severalElements && entry->stateSlotB != 0) WriteAddress(entry->stateSlotB, 0);
      const YatBhBufferRecord& record = records[b];
      if (record.stateWordAddress == 0) {
        LogLine(board, "Yat_Transfer_Init cyclingInfo.pData == NULL");
        continue;
      }
      const bool indirect = entry->stateDescriptor != 0 && (ReadWord(entry->stateDescriptor) & kStateIndirect) != 0;
      if (!indirect) {
        BindDirect(*entry, record);
        continue;
      }
      WriteAddress(entry->stateSlotA, reinterpret_cast<std::uintptr_t>(&Yat_Transfer_HostStateAccess));
      WriteAddress(entry->stateSlotB, in.hostAddresses[b]);
      entry->stateWords[j] = record.stateWordAddress;
      Yat_Transfer_HostStateAccess(kHostStateWrite, entry, entry->bufferFull);
    }
  }
}

bool AnyFlipped(const YatTransferInput& in) {
  for (const YatHostBufferEntry& entry : in.hosts)
    if ((entry.entryFlags & YAT_ENTRY_VERTICAL_FLIP) != 0) return true;
  return false;
}

QelHwStatus Connect(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle, std::uint32_t slot,
                    YatTransferInput* in) {
  if (const QelHwStatus status = Yat_Transfer_ReadInput(desc, in); status != QELHW_OK) {
    LogStatus("Yat_Transfer_Init", board, status);
    return status;
  }
  if (desc->extraLists[0] != 0 && desc->taps >= 2) {
    LogLine(board, "Do not support dual channel and dual destination at the same time.");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (const QelHwStatus status = Yat_Transfer_CheckSupported(*in); status != QELHW_OK) {
    LogStatus("Yat_Transfer_Init", board, status);
    return status;
  }
  YatListResources resources;
  if (const QelHwStatus status = TakeResources(board, *in, *handle, slot, &resources); status != QELHW_OK)
    return status;
  YatTransferLists lists;
  if (const QelHwStatus status = Yat_Transfer_BuildLists(*in, resources, &lists); status != QELHW_OK) {
    LogStatus("Yat_Transfer_Init", board, status);
    return status;
  }
  if (lists.linesMerged) desc->linesMerged = 1;
  if (lists.overflow && AnyFlipped(*in))
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Board %d, Yat_Transfer_Init Flipping Enable", kPardowLabel,
              static_cast<int>(board));
  if (const QelHwStatus status = SendLists(board, handle, slot, &lists); status != QELHW_OK) return status;
  BindStates(board, *in, lists);
  if (const QelHwStatus status = Yat_Event_Route(board, desc->camera, kRouteHostTransfers, kRouteEndOfTransfer);
      status != QELHW_OK) {
    LogStatus("Yat_Transfer_Init", board, status);
    return status;
  }
  handle->slots[0].hostBufferList = desc->hostBufferList;
  return QELHW_OK;
}

void ClearStateDescriptors(const YatTransferInput& in) {
  for (const std::uint64_t address : in.hostAddresses) {
    const auto* entry = At<const YatHostBufferEntry>(address);
    if (entry->stateDescriptor != 0) WriteWord(entry->stateDescriptor, 0);
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
  YatTransferInput input;
  const QelHwStatus status = Connect(board, desc, handle, slot, &input);
  if (status == QELHW_OK) return QELHW_OK;
  ClearStateDescriptors(input);
  Yat_Transfer_ReleaseHandle(handle);
  return status;
}

PARDOW_API std::uint32_t Yat_Transfer_HostStateAccess(std::uint32_t op, YatHostBufferEntry* entry,
                                                      std::uint32_t value) {
  if (entry == nullptr || entry->stateDescriptor == 0) return 0;
  const std::uint32_t descriptor = ReadWord(entry->stateDescriptor);
  const std::uint32_t mask = 1u << (descriptor & kStateIndexMask);
  const std::uint32_t sense = (descriptor & kStateInverted) != 0 ? 0 : mask;
  if (op == kHostStateRead) return entry->stateWords[0] == 0 ? 0 : (ReadWord(entry->stateWords[0]) & mask) ^ sense;
  if (op != kHostStateWrite) return 0;
  const bool on = ((value & mask) ^ sense) != 0;
  for (std::size_t i = YAT_HOST_BUFFER_STATE_WORDS; i-- > 0;) {
    const std::uint64_t word = entry->stateWords[i];
    if (word != 0) WriteWord(word, on ? ReadWord(word) | mask : ReadWord(word) & ~mask);
  }
  return 0;
}
