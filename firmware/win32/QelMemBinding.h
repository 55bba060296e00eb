// Binding of the maker's memory library "QelMem.dll": message memory,
// contiguous and physical buffers, address mapping, scatter-gather locking and
// port I/O. Bound at instance open; every entry is reached through a wrapper
// of its own name, which binds the library on first use when nobody tried yet,
// and which logs a missing entry by name and answers 0 (false, null).
#pragma once

#include <cstdint>

#include "platform/support/qelmem_entries.h"

// Binds the library (label: the loader's name in its log lines, kept when
// given). True when bound, now or before; false when it cannot be loaded or
// an earlier attempt failed and no unload came since.
bool LoadQelMem(const char* label);
// Frees the library and forgets every entry; the next wrapper binds again.
void UnloadQelMem();

std::int32_t QelMemAllocBuffer(std::uint32_t size, std::uint64_t* userAddress, std::uint64_t* physicalAddress);
std::int32_t QelMemAllocBufferEx(std::uint32_t size, std::uint32_t lowestPhysical, std::uint32_t highestPhysical,
                                 std::uint64_t alignment, qelmem::QelMemContigBuffer* buffer);
std::int32_t QelMemFreeBuffer(void* userAddress);
std::int32_t QelMemAllocMsg(std::uint32_t size, void** message, std::uint64_t* reference);
std::int32_t QelMemAllocMsgEx(std::uint32_t size, std::uint32_t zeroFill, std::uint32_t reserved,
                              std::uint64_t* message, std::uint64_t* reference);
std::int32_t QelMemFreeMsg(void* message);
std::int32_t QelMemMapPool(std::uint64_t* userAddress, std::uint64_t* size, std::uint64_t* kernelBase,
                           std::uint64_t reserved);
void* QelMemMapBuffer(std::uint64_t physicalAddress, std::uint64_t size);
void* QelMemMapBufferEx(std::uint64_t physicalAddress, std::uint64_t size, std::uint64_t flags);
std::int32_t QelMemUnmapBuffer(void* mappedAddress);
std::uint64_t QelMemLinearToPhys(const void* userAddress);
std::uint64_t QelMemMapPhysToKernel(std::uint64_t physicalAddress);
std::uint64_t QelMemMapKernelToPhys(std::uint64_t kernelAddress);
void* QelMemMapKernelToUser(std::uint64_t kernelAddress);
std::uint64_t QelMemMapUserToKernel(const void* userAddress);
std::uint64_t QelMemMapUserToPhys(const void* userAddress);
void* QelMemMapPhysToUser(std::uint64_t physicalAddress);
std::int32_t QelMemUnlockAllSGBuffer();
std::int32_t QelMemUnlockSGBuffer(qelmem::QelMemSgList* list);
std::int32_t QelMemLockSGBuffer(std::uint64_t bufferId, void* userAddress, std::uint32_t size,
                                std::uint64_t lowestBus, std::uint64_t highestBus, qelmem::QelMemSgList** list);
std::int32_t QelMemCreateMdlAndLockForVirtualBuffer(void* userAddress, std::uint64_t size,
                                                    qelmem::QelMemSgList** list);
void* QelMemGetMessagingBoundaryUser();
std::int32_t QelMemReadIo(std::uint32_t port, std::uint32_t size, std::uint32_t* value);
std::int32_t QelMemWriteIo(std::uint32_t port, std::uint32_t size, std::uint32_t value);
std::int32_t QelMemAllocPhysMemory(std::uint64_t pageCount, std::uint64_t lowestPhysical,
                                   std::uint64_t highestPhysical, std::uint64_t flags, std::uint64_t* pagesGranted,
                                   qelmem::QelMemPhysHandle* memory);
std::int32_t QelMemFreePhysMemory(qelmem::QelMemPhysHandle memory);
std::int32_t QelMemMapPhysMemory(qelmem::QelMemPhysHandle memory, std::uint64_t* address);
std::int32_t QelMemUnmapPhysMemory(qelmem::QelMemPhysHandle memory, void* address);
std::int32_t QelMemGetPhysMemory(qelmem::QelMemPhysHandle memory, std::uint64_t* pageNumbers, std::uint32_t count,
                                 std::uint64_t firstPage);
