// Exports of the library's transfers: transfer handles, the host and
// acquisition DMA channels they own, and the requests on a transfer's kernel
// object.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatTransferRecords.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/YatTransferDesc.h"

#ifndef PARDOW_API
#define PARDOW_API extern "C" __attribute__((visibility("default")))
#endif

inline constexpr std::uint32_t YAT_TRANSFER_HANDLE_TAG = 0x64000001;
inline constexpr std::uint32_t YAT_TRANSFER_SLOTS = 4;

#pragma pack(push, 1)
struct YatTransferChannelSlot {
  std::uint64_t hostBufferList;  // YatHostBufferList*, 0 = none
  std::uint32_t hostDmaChannel;
};

// Owned by the caller; the library fills it.
struct YatTransferHandle {
  std::uint32_t tag;
  std::uint32_t board;
  std::uint32_t camera;
  std::uint64_t kernelHandle;  // 0 = no kernel object
  YatTransferChannelSlot slots[YAT_TRANSFER_SLOTS];
  std::uint8_t reserved[8];
  std::uint32_t channelCounter;
};
#pragma pack(pop)
static_assert(sizeof(YatTransferChannelSlot) == 12);
static_assert(offsetof(YatTransferHandle, kernelHandle) == 12);
static_assert(offsetof(YatTransferHandle, slots) == 20);
static_assert(offsetof(YatTransferHandle, reserved) == 68);
static_assert(offsetof(YatTransferHandle, channelCounter) == 76);
static_assert(sizeof(YatTransferHandle) == 80);

// Requests on the kernel transfer object.
PARDOW_API QelHwStatus Yat_DMA_Create_Xfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_DMA_Destroy_Xfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_DMA_Set_AL_Xfer(YatTransferHandle* handle, std::uint32_t count, YatAlElement* elements);
PARDOW_API QelHwStatus Yat_DMA_Set_LB_Xfer(YatTransferHandle* handle, std::uint32_t count, YatLbElement* elements);
PARDOW_API QelHwStatus Yat_DMA_Set_BH_Xfer(YatTransferHandle* handle, YatBhHeader* header, std::uint32_t count,
                                           YatBhElement* elements);
PARDOW_API QelHwStatus Yat_DMA_StartAutoTransfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_DMA_StartTransfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_DMA_StopTransfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_DMA_AbortTransfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_DMA_SetCycleMode(YatTransferHandle* handle, std::uint32_t mode);

// Transfer handles.
PARDOW_API QelHwStatus Yat_Transfer_CreateHandle(std::uint32_t board, std::uint32_t camera,
                                                 YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_Transfer_ReleaseHandle(YatTransferHandle* handle);
PARDOW_API bool Yat_Transfer_isValidHandle(const void* handle);
PARDOW_API QelHwStatus Yat_Transfer_InitHostBufferIndex(YatTransferHandle* handle, std::uint32_t index,
                                                        std::uint32_t channel);

// Connecting a transfer: `slot` 0..2 names the handle's host DMA channel of
// the LB pieces; 3 or more sends no AL or LB list.
PARDOW_API QelHwStatus Yat_Transfer_Init(std::uint32_t board, YatTransferDesc* desc, YatTransferHandle* handle,
                                         std::uint32_t slot);
// Op 1 reads the buffer's state in the caller's sense, op 2 writes `value`
// into every state word the entry registered.
PARDOW_API std::uint32_t Yat_Transfer_HostStateAccess(std::uint32_t op, YatHostBufferEntry* entry,
                                                      std::uint32_t value);

// The transfer queue and its event.
PARDOW_API QelHwStatus Yat_Transfer_GetMessage(std::uint32_t board, std::uint8_t* message, std::uint32_t size);
PARDOW_API QelHwStatus Yat_Transfer_ClearMessageQueue(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Transfer_GetEventHandle(std::uint32_t board, std::uint64_t* event);

// DMA channel owner tables of the shared board table. `owner` is a camera;
// the words taken name this process's slot with it (YatSharedData.h). A
// host DMA group belongs to one transfer handle, so only the process that
// took it gives it back; the acquisition channels belong to the camera,
// which one process at a time uses, so they are found and freed by camera.
QelHwStatus Yat_DMA_AllocHostDmaNumber(std::uint32_t board, std::uint32_t owner, std::uint32_t* out);
QelHwStatus Yat_FreeHostDmaNumber(std::uint32_t board, std::uint32_t owner);
QelHwStatus Yat_AllocAcqDmaNumber(std::uint32_t board, std::uint32_t owner, std::uint32_t* out, std::int32_t first);
QelHwStatus Yat_FreeAcqDmaNumber(std::uint32_t board, std::uint32_t owner);
QelHwStatus Yat_GetAcqDmaNumber(std::uint32_t board, std::uint32_t owner, std::uint32_t n, std::uint32_t* out);
// Gives back one host DMA group, only while this process holds it for `owner`.
void Yat_FreeHostDmaGroup(std::uint32_t board, std::uint32_t group, std::uint32_t owner);
// Every host and acquisition channel of a camera of the board, whoever holds
// it (the hardware reset).
void Yat_DMA_FreeCameraOwners(std::uint32_t board, std::uint32_t camera);
// Every channel of every board held under a process slot.
void Yat_DMA_FreeOwnersOfSlot(std::uint32_t slot);

// Internal buffers in on-board memory.
#include "driver/user/YatInternalBuffer.h"

// Expansion processing unit and high-speed link.
#include "driver/user/YatExpansion.h"
