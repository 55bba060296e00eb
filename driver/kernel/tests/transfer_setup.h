// A transfer as a client sets it up: host buffers in the client's own memory
// with their lock records, one on-board acquisition buffer, and the AL, LB
// and BH element arrays of one acquisition channel, sent in either caller
// width. Shared by the transfer tests and their helper client.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/mman.h>

#include <functional>
#include <utility>
#include <memory>
#include <new>

#include "driver/kernel/YatTransferRecords.h"
#include "platform/kernel/qelmem.h"
#include "platform/win/device.h"

namespace transfer_test {

struct Frame {
  std::uint32_t width = 640;  // pixels
  std::uint32_t height = 6;
  std::uint32_t format = 2;   // 2 bytes per pixel
  std::uint32_t Bytes() const { return width * height * YatBytesPerPixel(format); }
};

// Memory below 4 GB, so that a caller flagged 32-bit can name it.
class LowArena {
 public:
  explicit LowArena(std::size_t size) : size_(size) {
    void* at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    base_ = at == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(at);
  }
  ~LowArena() {
    if (base_ != nullptr) ::munmap(base_, size_);
  }
  LowArena(const LowArena&) = delete;
  LowArena& operator=(const LowArena&) = delete;
  // Zero-filled; aborts the test process when the arena is exhausted.
  void* Take(std::size_t bytes, std::size_t alignment = 16) {
    used_ = (used_ + alignment - 1) / alignment * alignment;
    if (base_ == nullptr || used_ + bytes > size_) std::abort();
    void* at = base_ + used_;
    used_ += bytes;
    return at;
  }
  template <typename T>
  T* Make() {
    return new (Take(sizeof(T), alignof(T))) T{};
  }

 private:
  std::size_t size_;
  std::uint8_t* base_;
  std::size_t used_ = 0;
};

// A host buffer and its 296-byte buffer entry.
struct HostBuffer {
  std::uint8_t* memory = nullptr;
  std::uint8_t* entry = nullptr;
};

// How a request reaches the driver: (code, input, size, output, output size)
// -> false when the request itself failed.
using RequestPath = std::function<bool(std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t)>;

inline RequestPath DevicePath(plat::Handle device) {
  return [device](std::uint32_t code, const void* in, std::uint32_t size, void* out, std::uint32_t outSize) {
    std::uint32_t returned = 0;
    return plat::device_io_control(device, code, in, size, out, outSize, &returned);
  };
}

inline std::int32_t Send(const RequestPath& path, std::uint32_t code, const void* in, std::uint32_t size,
                         void* out = nullptr, std::uint32_t outSize = 0) {
  std::uint8_t answer[64] = {};
  if (out == nullptr) {
    out = answer;
    outSize = 4;
  }
  std::memset(out, 0xEE, 4);
  if (!path(code, in, size, out, outSize)) return -1;
  std::int32_t status = 0;
  std::memcpy(&status, out, 4);
  return status;
}

inline std::int32_t Send(plat::Handle device, std::uint32_t code, const void* in, std::uint32_t size, void* out = nullptr,
                         std::uint32_t outSize = 0) {
  return Send(DevicePath(device), code, in, size, out, outSize);
}

class TransferSetup {
 public:
  TransferSetup(plat::Handle device, bool narrow, std::uint32_t board = 0)
      : TransferSetup(DevicePath(device), narrow, board) {}
  TransferSetup(RequestPath path, bool narrow, std::uint32_t board = 0)
      : device_(std::move(path)), narrow_(narrow), board_(board), arena_(8u << 20) {
    al_ = arena_.Make<YatAlElement>();
    alRegion_ = arena_.Make<YatAlRegion>();
    source_ = arena_.Make<YatSourceEntry>();
    lb_ = arena_.Make<YatLbElement>();
    line_ = arena_.Make<YatLbLine>();
    piece_ = arena_.Make<YatLbPiece>();
    header_ = arena_.Make<YatBhHeader>();
    region_ = arena_.Make<YatBhPiece>();
    element_ = arena_.Make<YatBhElement>();
    list_ = arena_.Make<YatHostBufferList>();
    al32_ = arena_.Make<YatAlElement32>();
    lb32_ = arena_.Make<YatLbElement32>();
    element32_ = arena_.Make<YatBhElement32>();
  }

  // Reshape the records of the next SetAl, SetLb and SetBh before they are
  // sent (a 64-bit caller's records).
  std::function<void(YatAlElement&, YatAlRegion&)> shapeAl;
  std::function<void(YatLbElement&, YatLbLine&, YatLbPiece&)> shapeLb;
  std::function<void(YatBhPiece&)> shapeRegion;

  YatIocHeader Header() const { return {YAT_IOC_TARGET_BOARD, board_}; }
  std::uint64_t Handle() const { return handle_; }
  std::uint32_t Onboard() const { return onboard_; }
  const YatBhBufferRecord& Record(std::size_t i) const { return records_[i]; }
  HostBuffer& Buffer(std::size_t i) { return buffers_[i]; }
  std::size_t BufferCount() const { return buffers_.size(); }

  // On-board memory of bank 0 (8 regions) and an acquisition buffer in region 0.
  std::int32_t InitOnboard(std::uint32_t frameBytes) {
    YatInitMemoryRecord memory{};
    memory.header = Header();
    memory.regionsPerBank[0] = 8;
    memory.bankSizeMb[0] = 64;
    memory.bankCount = 1;
    std::int32_t status = Send(device_, YAT_IOCTRL_INIT_MEMORY_MANAGER, &memory, sizeof memory);
    if (status != 0) return status;
    YatIocAllocFpgaMemIn alloc{Header(), 0, frameBytes, 0};
    YatIocAllocFpgaMemOut out{};
    status = Send(device_, YAT_IOCTRL_ALLOC_FPGA_MEM, &alloc, sizeof alloc, &out, sizeof out);
    onboard_ = out.address;
    *source_ = {0, 0, onboard_};  // the LB list, sent before the AL list, names it too
    return status;
  }

  std::int32_t Create(std::uint32_t acqChannel = 0) {
    YatCreateXferRecord in{Header(), acqChannel};
    std::uint8_t out[12] = {};
    const std::int32_t status = Send(device_, YAT_IOCTRL_CREATE_XFER, &in, sizeof in, out, narrow_ ? 8 : 12);
    handle_ = 0;
    std::memcpy(&handle_, out + 4, narrow_ ? 4 : 8);
    return status;
  }

  std::int32_t SetAl(const Frame& f) {
    YatAlElement& al = *al_;
    al = YatAlElement{};
    al.geometry = {f.width, f.height, f.format, 0, 0, f.width, f.height};
    al.stepWord = 0x101;
    *alRegion_ = {0, 0, f.width, f.height};
    al.regionCount = 1;
    al.regions = Address(alRegion_);
    *source_ = {0, 0, onboard_};
    al.sourceCount = 1;
    al.sources = Address(source_);
    al.taps = 1;
    if (shapeAl) shapeAl(al, *alRegion_);
    if (!narrow_) {
      YatDmaXferRecord in{Header(), handle_, 1, Address(al_)};
      return Send(device_, YAT_IOCTRL_SET_AL_XFERS, &in, sizeof in);
    }
    YatAlElement32& small = *al32_;
    std::memcpy(&small, &al, offsetof(YatAlElement32, regions));
    small.regions = Low(al.regions);
    small.sourceCount = 1;
    small.sources = Low(al.sources);
    small.taps = 1;
    YatDmaXferRecord32 in{Header(), Low(handle_), 1, Low(Address(&small))};
    return Send(device_, YAT_IOCTRL_SET_AL_XFERS, &in, sizeof in);
  }

  std::int32_t SetLb(const Frame& f, std::uint32_t hostChannel = 0) {
    YatLbElement& lb = *lb_;
    lb = YatLbElement{};
    lb.geometry = {f.width, f.height, f.format, 0, 0, f.width, f.height};
    lb.sourceCount = 1;
    lb.sources = Address(source_);
    *line_ = {1, 0, 0, f.width, f.height, 0};
    lb.lineCount = 1;
    lb.lines = Address(line_);
    YatLbPiece& piece = *piece_;
    piece = YatLbPiece{};
    piece.channelMask = static_cast<std::uint16_t>(1u << hostChannel);
    piece.kindBits = 0x10;
    piece.width = f.width;
    piece.height = f.height;
    piece.onboardAddress = 0xFFFFFFFF;
    lb.pieceCount = 1;
    lb.pieces = Address(piece_);
    if (shapeLb) shapeLb(lb, *line_, piece);
    if (!narrow_) {
      YatDmaXferRecord in{Header(), handle_, 1, Address(lb_)};
      return Send(device_, YAT_IOCTRL_SET_LB_XFERS, &in, sizeof in);
    }
    YatLbElement32& small = *lb32_;
    std::memcpy(&small, &lb, offsetof(YatLbElement32, sources));
    small.sources = Low(lb.sources);
    small.lineCount = 1;
    small.lines = Low(lb.lines);
    small.pieceCount = 1;
    small.pieces = Low(lb.pieces);
    YatDmaXferRecord32 in{Header(), Low(handle_), 1, Low(Address(&small))};
    return Send(device_, YAT_IOCTRL_SET_LB_XFERS, &in, sizeof in);
  }

  // `count` host buffers of the frame's size; `offset` bytes into their first page.
  void MakeBuffers(const Frame& f, std::uint32_t count, std::uint32_t offset = 0) {
    buffers_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      HostBuffer buffer;
      const std::size_t size = (f.Bytes() + offset + 4095) / 4096 * 4096;
      buffer.memory = static_cast<std::uint8_t*>(arena_.Take(size, 4096)) + offset;
      buffer.entry = static_cast<std::uint8_t*>(arena_.Take(YAT_HOST_BUFFER_ENTRY_SIZE));
      plat::kernel::QelMemLockRecord lock{};
      lock.user_address = Address(buffer.memory);
      lock.buffer_size = f.Bytes();
      std::memcpy(buffer.entry + YAT_HOST_BUFFER_LOCK_OFFSET, &lock, sizeof lock);
      buffers_.push_back(buffer);
    }
  }

  std::int32_t SetBh(const Frame& f, std::uint32_t mode, std::uint32_t notifyOptions = 0, std::uint32_t hostChannel = 0) {
    *header_ = YatBhHeader{0, 0, 1, 0, 0, 0, 0};
    *region_ = YatBhPiece{YAT_BH_LEFT_TO_RIGHT, {1, 0}, 0, 0, 0, 0, f.width, f.height};
    if (shapeRegion) shapeRegion(*region_);
    records_ = static_cast<YatBhBufferRecord*>(arena_.Take(sizeof(YatBhBufferRecord) * buffers_.size()));
    recordCount_ = buffers_.size();
    for (std::size_t i = 0; i < recordCount_; ++i) {
      YatBhBufferRecord& r = records_[i];
      r.endNotify = 1;
      r.notifyOptions = notifyOptions;
      r.bufferIndex = static_cast<std::uint32_t>(i);
      r.geometry = {f.width, f.height, f.format, 0, 0, f.width, f.height};
      r.lockRecord = Address(buffers_[i].entry + YAT_HOST_BUFFER_LOCK_OFFSET);
      r.regionCount = 1;
      r.regions = Address(region_);
    }
    const auto count = static_cast<std::uint32_t>(recordCount_);
    if (!narrow_) {
      *element_ = YatBhElement{hostChannel, mode, count, Address(records_)};
      YatBhXferRecord in{Header(), handle_, Address(header_), 1, Address(element_)};
      return Send(device_, YAT_IOCTRL_SET_BH_XFERS, &in, sizeof in);
    }
    auto* small = static_cast<YatBhBufferRecord32*>(arena_.Take(sizeof(YatBhBufferRecord32) * count));
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&small[i], &records_[i], 20);
      small[i].bufferIndex = records_[i].bufferIndex;
      small[i].geometry = records_[i].geometry;
      small[i].lockRecord = Low(records_[i].lockRecord);
      small[i].regionCount = 1;
      small[i].regions = Low(records_[i].regions);
    }
    *element32_ = YatBhElement32{hostChannel, mode, count, Low(Address(small))};
    YatBhXferRecord32 in{Header(), Low(handle_), Low(Address(header_)), 1, Low(Address(element32_))};
    const std::int32_t status = Send(device_, YAT_IOCTRL_SET_BH_XFERS, &in, sizeof in);
    for (std::size_t i = 0; i < count; ++i) {
      records_[i].stateWordAddress = small[i].stateWordAddress;
      records_[i].stateBit = small[i].stateBit;
      records_[i].mapFailed = small[i].mapFailed;
    }
    return status;
  }

  std::int32_t Command(std::uint32_t code) {
    if (!narrow_) {
      YatXferCommandRecord in{Header(), handle_};
      return Send(device_, code, &in, sizeof in);
    }
    YatXferCommandRecord32 in{Header(), Low(handle_)};
    return Send(device_, code, &in, sizeof in);
  }

  std::int32_t CycleMode(std::uint32_t mode) {
    YatCycleModeRecord in{Header(), handle_, mode};
    return Send(device_, YAT_IOCTRL_SET_CYCLE_MODE_XFER, &in, sizeof in);
  }

  std::int32_t Position(std::uint32_t type, std::uint32_t channel, std::uint32_t position) {
    YatXferPositionRecord in{Header(), handle_, type, channel, position};
    return Send(device_, YAT_IOCTRL_XFER_POSITION_XFER, &in, sizeof in);
  }

  std::int32_t Destroy() {
    *list_ = YatHostBufferList{0, 0, static_cast<std::uint32_t>(buffers_.size()),
                               buffers_.empty() ? 0 : Address(buffers_[0].entry), 0};
    if (!narrow_) {
      YatDestroyXferRecord in{Header(), handle_, {Address(list_), 0, 0, 0}, 1};
      return Send(device_, YAT_IOCTRL_DESTROY_XFER, &in, sizeof in);
    }
    YatDestroyXferRecord32 in{Header(), Low(handle_), {0, 0, 0, 0}, 0};
    return Send(device_, YAT_IOCTRL_DESTROY_XFER, &in, sizeof in);
  }

  // The state word the driver mapped for buffer i, and its bit.
  std::uint32_t StateWord(std::size_t i) const {
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const void*>(records_[i].stateWordAddress), 4);
    return word;
  }
  void Rearm(std::size_t i) {
    auto* word = reinterpret_cast<volatile std::uint32_t*>(records_[i].stateWordAddress);
    *word = *word | (1u << records_[i].stateBit);
  }

 private:
  static std::uint32_t Low(std::uint64_t value) { return static_cast<std::uint32_t>(value); }
  static std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

  RequestPath device_;
  bool narrow_;
  std::uint32_t board_;
  std::uint64_t handle_ = 0;
  std::uint32_t onboard_ = 0;
  LowArena arena_;
  YatAlElement* al_;
  YatAlRegion* alRegion_;
  YatSourceEntry* source_;
  YatLbElement* lb_;
  YatLbLine* line_;
  YatLbPiece* piece_;
  YatBhHeader* header_;
  YatBhPiece* region_;
  YatBhElement* element_;
  YatHostBufferList* list_;
  YatAlElement32* al32_;
  YatLbElement32* lb32_;
  YatBhElement32* element32_;
  std::vector<HostBuffer> buffers_;
  YatBhBufferRecord* records_ = nullptr;
  std::size_t recordCount_ = 0;
};

}  // namespace transfer_test
