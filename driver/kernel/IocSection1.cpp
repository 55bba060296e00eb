// Section 1: transfer objects. Records of a 32-bit caller are widened into
// the 64-bit forms before use; every record and array the caller names is
// read (and the BH out fields written) through the checked copies.
#include <cstring>

#include "driver/kernel/BoardPins.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/KernelServices.h"
#include "driver/kernel/PageBucket.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/XferObjects.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagElements = StavroPoolTag('E');
constexpr std::uint32_t kMaxElements = 256;
constexpr std::uint32_t kMaxHostLists = 4;

struct Request {
  YatIocContext* context;
  YatManagerExtension* manager;
  bool narrow;
  std::uint32_t slot = kYatNoProcessSlot;
};

template <typename Record>
Record Read(const Request& r) {
  Record record{};
  std::memcpy(&record, r.context->input, sizeof record);
  return record;
}

QelHwStatus Need(const Request& r, std::uint32_t wide, std::uint32_t narrow, std::uint32_t outWide = 4,
                 std::uint32_t outNarrow = 4) {
  if (r.context->inputLength < (r.narrow ? narrow : wide) || r.context->outputLength < (r.narrow ? outNarrow : outWide))
    return QELHW_ERROR_IOC_BUFFER;
  return QELHW_OK;
}

void Answer(const Request& r, const void* data, std::uint32_t size) {
  std::memcpy(static_cast<std::uint8_t*>(r.context->output) + sizeof(YatIocStatus), data, size);
}

void LogInvalid(const Request& r, const char* name) {
  STAVRO_LOG(kLogError, r.narrow ? "%s: >%s< Invalid Handle (WOW64)" : "%s: >%s< Invalid Handle", name);
}

// The transfer a caller's handle (or 32-bit map index) names, looked up in
// the caller's list; false (logged) when it names none, or one of another
// board than the request's. A request without a board (the diagnostic map)
// keeps the transfer's board for itself.
bool Find(const Request& r, std::uint64_t handle, const char* name, YatXferRef* ref) {
  std::uint64_t pointer = handle;
  if (r.narrow) pointer = Yat_Wow64_LookupHandleFromIndex(r.manager, static_cast<std::uint32_t>(handle), name);
  bool found = pointer != 0 && XferLookup(r.manager, r.slot, pointer, ref);
  if (found && r.context->board == nullptr) found = YatPinForRequest(r.manager, ref->board);
  else if (found) found = ref->board == r.context->board;
  if (!found) LogInvalid(r, name);
  return found;
}

// The transfer a request works on, with its channel's transfer mutex held
// for the request; get() is null (logged) when the request names none.
class HeldTransfer {
 public:
  HeldTransfer(const Request& r, std::uint64_t handle, const char* name) {
    if (!Find(r, handle, name, &ref_)) return;
    mutex_ = &ref_.board->channels[ref_.acqChannel % kYatChannels].transferMutex;
    while (!plat::nt_success(wait_for_object(mutex_, nullptr))) {
    }
    // Another thread of the caller may have destroyed it while this one waited.
    if (XferStillListed(r.manager, r.slot, ref_)) {
      transfer_ = ref_.transfer;
    } else {
      LogInvalid(r, name);
    }
  }
  ~HeldTransfer() {
    if (mutex_ != nullptr) release_mutex(mutex_);
  }
  HeldTransfer(const HeldTransfer&) = delete;
  HeldTransfer& operator=(const HeldTransfer&) = delete;
  YatXferObject* get() const { return transfer_; }

 private:
  YatXferRef ref_;
  KernelMutex* mutex_ = nullptr;
  YatXferObject* transfer_ = nullptr;
};

// A pool copy of the caller's element array in the 64-bit form.
template <typename Wide, typename Narrow, typename Widen>
class Elements {
 public:
  Elements(const Request& r, std::uint64_t address, std::uint32_t count, Widen widen) : count_(count) {
    if (count == 0) return;
    if (count > kMaxElements || address == 0) return;
    data_ = static_cast<Wide*>(allocate_pool(PoolType::kPaged, sizeof(Wide) * count, kTagElements));
    if (data_ == nullptr) return;
    std::memset(data_, 0, sizeof(Wide) * count);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!r.narrow) {
        if (!plat::nt_success(copy_from_caller(address + i * std::uint64_t{sizeof(Wide)}, &data_[i], sizeof(Wide)))) return;
      } else {
        Narrow small{};
        if (!plat::nt_success(copy_from_caller(address + i * std::uint64_t{sizeof(Narrow)}, &small, sizeof small))) return;
        data_[i] = widen(small);
      }
    }
    ok_ = true;
  }
  ~Elements() {
    if (data_ != nullptr) free_pool_with_tag(data_, kTagElements);
  }
  Elements(const Elements&) = delete;
  Elements& operator=(const Elements&) = delete;
  bool ok() const { return ok_ || count_ == 0; }
  const Wide* get() const { return data_; }

 private:
  std::uint32_t count_;
  Wide* data_ = nullptr;
  bool ok_ = false;
};

YatAlElement WidenAl(const YatAlElement32& s) {
  YatAlElement e{};
  std::memcpy(&e, &s, offsetof(YatAlElement32, regions));
  e.regions = s.regions;
  e.sourceCount = s.sourceCount;
  e.sources = s.sources;
  e.flags = s.flags;
  e.registerValue = s.registerValue;
  e.reserved = s.reserved;
  e.mirror = s.mirror;
  e.taps = s.taps;
  return e;
}

YatLbElement WidenLb(const YatLbElement32& s) {
  YatLbElement e{};
  std::memcpy(&e, &s, offsetof(YatLbElement32, sources));
  e.sources = s.sources;
  e.stamp = s.stamp;
  e.lineCount = s.lineCount;
  e.lines = s.lines;
  e.pieceCount = s.pieceCount;
  e.pieces = s.pieces;
  e.optionBits = s.optionBits;
  e.period = s.period;
  e.chunkCount = s.chunkCount;
  e.perSource = s.perSource;
  e.opensEveryRun = s.opensEveryRun;
  return e;
}

YatBhElement WidenBh(const YatBhElement32& s) { return YatBhElement{s.dmaChannel, s.modeWord, s.bufferCount, s.buffers}; }

QelHwStatus Create(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatCreateXferRecord), sizeof(YatCreateXferRecord), sizeof(YatCreateXferOut),
                            sizeof(YatCreateXferOut32));
  if (status != QELHW_OK) return status;
  const auto in = Read<YatCreateXferRecord>(r);
  if (in.acqChannel >= YAT_ACQ_CHANNELS) return QELHW_ERROR_PARAMETER_INVALID;
  if ((r.manager->traceFlags & kTraceChannels) != 0) STAVRO_LOG(kLogTrace, "%s: >YAT_IOCTRL_CREATE_XFER< Entry");
  YatXferObject* transfer = XferCreate(r.manager, r.slot, r.context->board, in.acqChannel);
  if (transfer == nullptr) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  const auto handle = reinterpret_cast<std::uint64_t>(transfer);
  if (!r.narrow) {
    Answer(r, &handle, sizeof handle);
    return QELHW_OK;
  }
  const std::uint32_t index = Yat_Wow64_AddHandle(r.manager, handle);
  if (index == 0xFFFFFFFF || index == 0) {
    STAVRO_LOG(kLogError, "%s: >YAT_IOCTRL_CREATE_XFER< handle index = 0 (WOW64)");
    XferDestroyListed(r.manager, r.slot, YatXferRef{transfer, r.context->board, in.acqChannel});
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  Answer(r, &index, sizeof index);
  return QELHW_OK;
}

QelHwStatus SetLocal(const Request& r, bool lb) {
  QelHwStatus status = Need(r, sizeof(YatDmaXferRecord), sizeof(YatDmaXferRecord32));
  if (status != QELHW_OK) return status;
  YatDmaXferRecord in{};
  if (!r.narrow) {
    in = Read<YatDmaXferRecord>(r);
  } else {
    const auto small = Read<YatDmaXferRecord32>(r);
    in = YatDmaXferRecord{small.header, small.handle, small.count, small.elements};
  }
  HeldTransfer held(r, in.handle, lb ? "CreateLBXfer" : "CreateALXfer");
  if (held.get() == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  const YatXferOwner owner{r.manager, r.slot};
  if (lb) {
    Elements<YatLbElement, YatLbElement32, decltype(&WidenLb)> elements(r, in.elements, in.count, WidenLb);
    if (!elements.ok()) return QELHW_ERROR_PARAMETER_INVALID;
    return CreateLBXfer(r.context->board, held.get(), owner, elements.get(), in.count);
  }
  Elements<YatAlElement, YatAlElement32, decltype(&WidenAl)> elements(r, in.elements, in.count, WidenAl);
  if (!elements.ok()) return QELHW_ERROR_PARAMETER_INVALID;
  return CreateALXfer(r.context->board, held.get(), owner, elements.get(), in.count);
}

QelHwStatus SetHost(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatBhXferRecord), sizeof(YatBhXferRecord32));
  if (status != QELHW_OK) return status;
  YatBhXferRecord in{};
  if (!r.narrow) {
    in = Read<YatBhXferRecord>(r);
  } else {
    const auto small = Read<YatBhXferRecord32>(r);
    in = YatBhXferRecord{small.header, small.handle, small.bhHeader, small.count, small.elements};
  }
  YatBhHeader header{};
  if (in.bhHeader == 0 || !plat::nt_success(copy_from_caller(in.bhHeader, &header, sizeof header)) ||
      header.acqChannel >= YAT_ACQ_CHANNELS)
    return QELHW_ERROR_NO_BOARD_FOUND;
  HeldTransfer held(r, in.handle, "CreateBHXfer");
  if (held.get() == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  Elements<YatBhElement, YatBhElement32, decltype(&WidenBh)> elements(r, in.elements, in.count, WidenBh);
  if (!elements.ok()) return QELHW_ERROR_PARAMETER_INVALID;
  return CreateBHXfer(r.context->board, held.get(), YatXferOwner{r.manager, r.slot}, &header, elements.get(), in.count,
                      r.narrow);
}

std::uint64_t CommandHandle(const Request& r) {
  return r.narrow ? Read<YatXferCommandRecord32>(r).handle : Read<YatXferCommandRecord>(r).handle;
}

QelHwStatus Command(const Request& r, bool start) {
  QelHwStatus status = Need(r, sizeof(YatXferCommandRecord), sizeof(YatXferCommandRecord32));
  if (status != QELHW_OK) return status;
  HeldTransfer held(r, CommandHandle(r), start ? "YAT_IOCTRL_START_AUTO_XFER" : "YAT_IOCTRL_ABORT_XFER");
  YatXferObject* transfer = held.get();
  if (transfer == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  if (!start) {
    status = AbortALXfer(r.manager, transfer);
    return status == QELHW_OK ? AbortLBXfer(r.manager, transfer) : status;
  }
  status = StartBHXfer(r.manager, transfer);
  if (status == QELHW_OK) status = StartLBXfer(r.manager, transfer);
  if (status == QELHW_OK) status = StartALXfer(r.manager, transfer);
  return status;
}

QelHwStatus Position(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatXferPositionRecord), sizeof(YatXferPositionRecord32));
  if (status != QELHW_OK) return status;
  YatXferPositionRecord in{};
  if (!r.narrow) {
    in = Read<YatXferPositionRecord>(r);
  } else {
    const auto small = Read<YatXferPositionRecord32>(r);
    in = YatXferPositionRecord{small.header, small.handle, small.dmaType, small.dmaChannel, small.position};
  }
  HeldTransfer held(r, in.handle, "YAT_IOCTRL_XFER_POSITION_XFER");
  if (held.get() == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  return XferSetPosition(r.context->board, held.get(), in.position, in.dmaType, in.dmaChannel);
}

QelHwStatus CycleMode(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatCycleModeRecord), sizeof(YatCycleModeRecord32));
  if (status != QELHW_OK) return status;
  YatCycleModeRecord in{};
  if (!r.narrow) {
    in = Read<YatCycleModeRecord>(r);
  } else {
    const auto small = Read<YatCycleModeRecord32>(r);
    in = YatCycleModeRecord{small.header, small.handle, small.mode};
  }
  HeldTransfer held(r, in.handle, "SetCycleModeBHXfer");
  if (held.get() == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  return SetCycleModeBHXfer(r.manager, held.get(), in.mode);
}

// The caller's host buffer lists are still read: their entries must be the
// caller's memory. The locks themselves are the transfer's own.
QelHwStatus CheckHostLists(const Request& r, const std::uint64_t* lists, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count && i < kMaxHostLists; ++i) {
    if (lists[i] == 0) continue;
    std::uint32_t bufferCount = 0;
    std::uint64_t entries = 0;
    if (!r.narrow) {
      YatHostBufferList list{};
      if (!plat::nt_success(copy_from_caller(lists[i], &list, sizeof list))) return QELHW_ERROR_PARAMETER_INVALID;
      bufferCount = list.bufferCount;
      entries = list.entries;
    } else {
      YatHostBufferList32 list{};
      if (!plat::nt_success(copy_from_caller(lists[i], &list, sizeof list))) return QELHW_ERROR_PARAMETER_INVALID;
      bufferCount = list.bufferCount;
      entries = list.entries;
    }
    std::uint8_t probe = 0;
    if (bufferCount != 0 && !plat::nt_success(copy_from_caller(entries, &probe, 1))) return QELHW_ERROR_PARAMETER_INVALID;
  }
  return QELHW_OK;
}

QelHwStatus Destroy(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatDestroyXferRecord), sizeof(YatDestroyXferRecord32));
  if (status != QELHW_OK) return status;
  YatDestroyXferRecord in{};
  if (!r.narrow) {
    in = Read<YatDestroyXferRecord>(r);
  } else {
    const auto small = Read<YatDestroyXferRecord32>(r);
    in.handle = small.handle;
    for (std::uint32_t i = 0; i < kMaxHostLists; ++i) in.lists[i] = small.lists[i];
    in.listCount = small.listCount;
  }
  YatXferRef ref;
  if (!Find(r, in.handle, "YAT_IOCTRL_DESTROY_XFER", &ref)) return QELHW_ERROR_PARAMETER_INVALID;
  status = CheckHostLists(r, in.lists, in.listCount);
  if (!XferDestroyListed(r.manager, r.slot, ref)) {
    LogInvalid(r, "YAT_IOCTRL_DESTROY_XFER");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  if (r.narrow) Yat_Wow64_RemoveHandle(r.manager, reinterpret_cast<std::uint64_t>(ref.transfer));
  return status;
}

YatBucketHeader* DebugChain(YatXferObject* transfer, std::uint32_t part, std::uint32_t index) {
  YatXferPart* chosen = part == 0 ? &transfer->al : part == 1 ? &transfer->lb : &transfer->bh;
  if (index == 0xFFFFFFFF) return chosen->bufferList;
  if (part > 1) return transfer->hostChain;
  if (index >= chosen->dmaInfoCount) return nullptr;
  DmaResult* result = *static_cast<DmaResult**>(chosen->dmaInfos[index]);
  return result ? result->chain : nullptr;
}

QelHwStatus MapDescriptors(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatDbgMapDescRecord), sizeof(YatDbgMapDescRecord32), sizeof(YatDbgMapDescOut),
                            sizeof(YatDbgMapDescOut32));
  if (status != QELHW_OK) return status;
  YatDbgMapDescRecord in{};
  if (!r.narrow) {
    in = Read<YatDbgMapDescRecord>(r);
  } else {
    const auto small = Read<YatDbgMapDescRecord32>(r);
    in = YatDbgMapDescRecord{small.header, small.handle, small.part, small.unused, small.dmaInfoIndex, small.skipBuckets};
  }
  HeldTransfer held(r, in.handle, "YAT_IOCTRL_DBG_MAP_DESC");
  YatXferObject* transfer = held.get();
  if (transfer == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  YatBucketHeader* bucket = FirstBucketOf(DebugChain(transfer, in.part, in.dmaInfoIndex));
  for (std::uint32_t i = 0; bucket != nullptr && i < in.skipBuckets; ++i)
    bucket = reinterpret_cast<YatBucketHeader*>(bucket->next);
  std::uint64_t user = 0, length = 0;
  if (bucket != nullptr && (bucket->base == kBucketSystemMemory || bucket->base == kBucketMemoryDriver)) {
    YatBucketHeader* at = bucket;
    const std::uint64_t physical = GetBucketPhysicalAddress(transfer->board, &at, bucket);
    if (physical == 0 || !plat::nt_success(MapBuffer(physical, kHostBucketSize, &user, &length))) user = 0;
  }
  if (r.narrow) {
    const auto narrow = static_cast<std::uint32_t>(user);
    Answer(r, &narrow, sizeof narrow);
  } else {
    Answer(r, &user, sizeof user);
  }
  return QELHW_OK;
}

QelHwStatus UnmapDescriptors(const Request& r) {
  QelHwStatus status = Need(r, sizeof(YatDbgUnmapDescRecord), sizeof(YatDbgUnmapDescRecord32));
  if (status != QELHW_OK) return status;
  const std::uint64_t address =
      r.narrow ? Read<YatDbgUnmapDescRecord32>(r).userAddress : Read<YatDbgUnmapDescRecord>(r).userAddress;
  return plat::nt_success(UnmapBuffer(address)) ? QELHW_OK : QELHW_ERROR_PARAMETER_INVALID;
}

// The 32-bit index a slot's map gives a transfer; 0 when it has none.
std::uint32_t MapIndexOf(const YatManagerExtension* manager, std::uint32_t slot, std::uint64_t handle) {
  for (std::uint32_t entry = 0; entry < kYatWow64Handles; ++entry)
    if (manager->wow64HandleMap[slot][entry] == handle) return 0x80000000u + entry;
  return 0;
}

QelHwStatus ListHandles(const Request& r) {
  const std::uint32_t width = r.narrow ? 4 : 8;
  if (r.context->outputLength < 4 + width) return QELHW_ERROR_IOC_BUFFER;
  const std::uint32_t room = (r.context->outputLength - 4) / width;
  auto* out = static_cast<std::uint8_t*>(r.context->output) + 4;
  std::memset(out, 0, r.context->outputLength - 4);
  std::uint32_t written = 0;
  YatProcessTableLock lock(r.manager);
  for (std::uint32_t slot = 0; slot < kYatProcessSlots; ++slot) {
    YatBlockList* list = &r.manager->processRecords[slot].transferList;
    for (std::int32_t position = 0;; ++position) {
      void* payload = ListGetAt(position, list);
      if (payload == nullptr) break;
      const auto handle = reinterpret_cast<std::uint64_t>(payload);
      if (XferFromHandle(r.manager, slot, handle) == nullptr) continue;
      if (written >= room) {
        STAVRO_LOG(kLogError, "%s: iocltDbgGetFirstXferHandle (no space for  pDmaHandle = 0x%x)(WOW64)",
                   static_cast<unsigned>(handle));
        continue;
      }
      if (r.narrow) {
        const std::uint32_t index = MapIndexOf(r.manager, slot, handle);
        std::memcpy(out + written * 4, &index, 4);
      } else {
        std::memcpy(out + written * 8, &handle, 8);
      }
      ++written;
    }
  }
  return QELHW_OK;
}

bool IsDebug(std::uint32_t code) {
  return code == YAT_IOCTRL_DBG_MAP_DESC || code == YAT_IOCTRL_DBG_UNMAP_DESC || code == YAT_IOCTRL_DBG_GET_XFER_HANDLES;
}

QelHwStatus Serve(Request& r) {
  const std::uint32_t code = r.context->code;
  if (r.context->board == nullptr && !IsDebug(code)) return QELHW_ERROR_NO_BOARD_FOUND;
  if (code == YAT_IOCTRL_DBG_GET_XFER_HANDLES) return ListHandles(r);
  if (code == YAT_IOCTRL_DBG_UNMAP_DESC) return UnmapDescriptors(r);
  switch (code) {
    case YAT_IOCTRL_SET_AL_XFERS:
    case YAT_IOCTRL_SET_LB_XFERS:
    case YAT_IOCTRL_SET_BH_XFERS:
    case YAT_IOCTRL_START_AUTO_XFER:
    case YAT_IOCTRL_ABORT_XFER:
    case YAT_IOCTRL_XFER_POSITION_XFER:
    case YAT_IOCTRL_CREATE_XFER:
    case YAT_IOCTRL_DESTROY_XFER:
    case YAT_IOCTRL_DBG_MAP_DESC:
    case YAT_IOCTRL_SET_CYCLE_MODE_XFER:
      r.slot = XferCallerSlot(r.manager);
      if (r.slot >= kYatProcessSlots) return QELHW_ERROR_PROCESS_NOT_REGISTERED;
      break;
    default: return QELHW_ERROR_IOC_FUNCTION;
  }
  switch (code) {
    case YAT_IOCTRL_SET_AL_XFERS: return SetLocal(r, false);
    case YAT_IOCTRL_SET_LB_XFERS: return SetLocal(r, true);
    case YAT_IOCTRL_SET_BH_XFERS: return SetHost(r);
    case YAT_IOCTRL_START_AUTO_XFER: return Command(r, true);
    case YAT_IOCTRL_ABORT_XFER: return Command(r, false);
    case YAT_IOCTRL_XFER_POSITION_XFER: return Position(r);
    case YAT_IOCTRL_CREATE_XFER: return Create(r);
    case YAT_IOCTRL_DESTROY_XFER: return Destroy(r);
    case YAT_IOCTRL_DBG_MAP_DESC: return MapDescriptors(r);
    default: return CycleMode(r);
  }
}

}  // namespace

QelHwStatus Yat_Ioc_Section1(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  const bool narrow = (code & YAT_IOCTRL_WIDTH_BIT) == 0;
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 1, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  // No lock is held here: a request takes its transfer's channel mutex, and
  // the process table only for lookups and list changes.
  Request request{&context, context.manager, narrow};
  return YatIocAnswer(output, outputLength, Serve(request));
}
