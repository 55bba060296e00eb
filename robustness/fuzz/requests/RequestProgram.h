// A request fuzzer input is a small program of operations on the driver, read
// front to back; bytes missing at the end read as zeros and end the program.
// An operation byte is taken modulo 8: 0 opens, 2 closes, 3 fills, and every
// other value (1, 4 to 7) is a control, so that most operations a mutation
// makes are requests.
//
//   open     u8 0, u8 how    file slot how & 3; device (how >> 2) % 6; the
//                            caller is the other process when how & 0x80;
//                            nothing when the slot holds that device of that
//                            caller already (a close first opens it anew)
//   control  u8 1, u8 how    slot how & 3; a 32-bit caller when how & 4;
//            u32 code, output size, input size, then the input bytes (as many
//            as the program still has, zeros after them); a size is a u16,
//            or 0xFFFF and a u32 taken modulo 1 MiB + 1 (big sizes are
//            rare, as they are slow)
//   close    u8 2, u8 slot
//   fill     u8 3, u32 offset, u16 length, bytes: written into the caller's
//            writable memory, the place records point into
//
// Values the driver answered can be named: after a successful request whose
// output holds more than its status, the word or double word after the status
// (a handle, an on-board address) is kept, the last four of them. In a control
// input or a fill, an aligned word kAnswerToken + n becomes the low half of
// the n-th kept value and a kAnswerHigh word right after it the high half.
//
// The caller's memory sits at fixed addresses below 4 GB, so that a 32-bit
// caller can name it and seeds and the dictionary can hold its addresses:
// writable pages, then a read-only page, a page that faults, and a hole that
// is never mapped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace request_fuzz {

inline constexpr std::uint64_t kPage = 4096;
inline constexpr std::uint64_t kClientBase = 0x30000000;
inline constexpr std::uint64_t kWritableBytes = 64 * kPage;
inline constexpr std::uint64_t kReadOnlyPage = kClientBase + kWritableBytes;
inline constexpr std::uint64_t kFaultingPage = kReadOnlyPage + kPage;
inline constexpr std::uint64_t kUnmappedHole = kFaultingPage + kPage;

inline constexpr std::uint32_t kAnswerToken = 0xA5A5A500;
inline constexpr std::uint32_t kAnswerHigh = 0xA5A5A5A5;
inline constexpr std::size_t kKeptAnswers = 4;
// The 8-byte form of the token for the n-th kept value.
inline constexpr std::uint64_t AnswerToken(std::uint32_t n) {
  return std::uint64_t{kAnswerHigh} << 32 | (kAnswerToken + n);
}

inline constexpr std::uint32_t kMaxRequestBytes = 1u << 20;
inline constexpr std::uint16_t kBigSize = 0xFFFF;
inline constexpr std::size_t kMaxOperations = 64;
inline constexpr std::size_t kSlots = 4;

enum Operation : std::uint8_t { kOpen = 0, kControl = 1, kClose = 2, kFill = 3 };
inline constexpr std::uint8_t kOperationModulus = 8;

inline constexpr Operation OperationOf(std::uint8_t byte) {
  const auto value = static_cast<std::uint8_t>(byte % kOperationModulus);
  return value == kOpen || value == kClose || value == kFill ? static_cast<Operation>(value) : kControl;
}

inline constexpr std::string_view kDeviceNames[] = {
    "\\\\.\\STAVRO", "\\\\.\\STAVRO1", "\\\\.\\STAVRO2", "\\\\.\\STAVRO3", "\\\\.\\STAVRO17", "\\\\.\\QELMEM"};
inline constexpr std::uint8_t kOtherProcess = 0x80;
inline constexpr std::uint8_t kNarrowCaller = 4;

// Reads the program; every read past the end gives zeros and marks the end.
class ProgramReader {
 public:
  explicit ProgramReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool AtEnd() const { return at_ >= bytes_.size(); }
  template <typename T>
  T Read() {
    T value{};
    const std::size_t n = std::min(sizeof value, bytes_.size() - std::min(at_, bytes_.size()));
    if (n > 0) std::memcpy(&value, bytes_.data() + at_, n);
    at_ += sizeof value;
    return value;
  }
  std::uint32_t Size() {
    const auto small = Read<std::uint16_t>();
    return small != kBigSize ? small : Read<std::uint32_t>() % (kMaxRequestBytes + 1);
  }
  // Up to `size` bytes, fewer when the program ends first.
  std::span<const std::uint8_t> Bytes(std::size_t size) {
    const std::size_t start = std::min(at_, bytes_.size());
    const std::size_t n = std::min(size, bytes_.size() - start);
    at_ = start + n;
    return bytes_.subspan(start, n);
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Writes a program (the seeds).
class ProgramWriter {
 public:
  void Open(std::uint8_t slot, std::uint8_t device, bool otherProcess = false) {
    Put<std::uint8_t>(kOpen);
    Put<std::uint8_t>(static_cast<std::uint8_t>((slot & 3) | device << 2 | (otherProcess ? kOtherProcess : 0)));
  }
  void Control(std::uint8_t slot, bool narrow, std::uint32_t code, const void* input, std::uint32_t inputSize,
               std::uint32_t outputSize) {
    Put<std::uint8_t>(kControl);
    Put<std::uint8_t>(static_cast<std::uint8_t>((slot & 3) | (narrow ? kNarrowCaller : 0)));
    Put(code);
    PutSize(outputSize);
    PutSize(inputSize);
    PutBytes(input, inputSize);
  }
  template <typename Record>
  void Control(std::uint8_t slot, bool narrow, std::uint32_t code, const Record& record, std::uint32_t outputSize) {
    Control(slot, narrow, code, &record, sizeof record, outputSize);
  }
  void Close(std::uint8_t slot) {
    Put<std::uint8_t>(kClose);
    Put<std::uint8_t>(slot);
  }
  void Fill(std::uint32_t offset, const void* data, std::uint16_t size) {
    Put<std::uint8_t>(kFill);
    Put(offset);
    Put(size);
    PutBytes(data, size);
  }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  template <typename T>
  void Put(T value) {
    PutBytes(&value, sizeof value);
  }
  void PutSize(std::uint32_t size) {
    if (size < kBigSize) {
      Put(static_cast<std::uint16_t>(size));
      return;
    }
    Put(kBigSize);
    Put(size);
  }
  void PutBytes(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  std::vector<std::uint8_t> bytes_;
};

}  // namespace request_fuzz
