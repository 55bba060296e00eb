// The simulated bitstream: the configuration image of the board's FPGAs.
//
// Our own format. A configuration port receives it bit-serially, each byte
// most significant bit first, and needs nothing before or after it: whatever
// precedes the sync pattern (a firmware file's header, padding) is skipped,
// and whatever follows the check (a trailing record, closing zero bits,
// stale buffer bytes) is ignored.
//
//   preamble  4 bytes 0xFF (optional; skipped like anything before the sync)
//   sync      8 bytes C3 5A 0F 96 69 F0 A5 3C (searched for at any bit offset)
//   header   20 bytes, multi-byte fields big-endian:
//     0  u8   format version (1)
//     1  u8   target FPGA kind (1 main, 2 XIO, 3 expansion)
//     2  u16  flags (0)
//     4  u32  design id       (what the configured FPGA reports as its id)
//     8  u32  design version  (what it reports as its version)
//     12 u32  payload length in bytes (at most kBitstreamMaxPayload)
//     16 u32  CRC-32 of header bytes 0..15
//   payload  payload-length bytes of design data
//   check     u32 CRC-32 of the 20 header bytes and the payload
//
// CRC-32 is the common reflected one (polynomial 0xEDB88320, initial value
// and final xor 0xFFFFFFFF). The header's own check rejects a corrupt length
// before the payload is counted; the final check rejects any corrupt bit of
// header or payload. An image for another kind of FPGA is refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace plat::board {

enum class FpgaKind : std::uint8_t { kMain = 1, kXio = 2, kExpansion = 3 };

inline constexpr std::array<std::uint8_t, 8> kBitstreamSync{0xC3, 0x5A, 0x0F, 0x96, 0x69, 0xF0, 0xA5, 0x3C};
inline constexpr std::uint8_t kBitstreamFormatVersion = 1;
inline constexpr std::size_t kBitstreamPreambleSize = 4;
inline constexpr std::size_t kBitstreamHeaderSize = 20;
inline constexpr std::size_t kBitstreamCheckSize = 4;
inline constexpr std::uint32_t kBitstreamMaxPayload = 8u << 20;

// Offsets inside the header.
inline constexpr std::size_t kBitstreamOffsetVersion = 0;
inline constexpr std::size_t kBitstreamOffsetKind = 1;
inline constexpr std::size_t kBitstreamOffsetFlags = 2;
inline constexpr std::size_t kBitstreamOffsetDesignId = 4;
inline constexpr std::size_t kBitstreamOffsetDesignVersion = 8;
inline constexpr std::size_t kBitstreamOffsetLength = 12;
inline constexpr std::size_t kBitstreamOffsetHeaderCheck = 16;
static_assert(kBitstreamOffsetHeaderCheck + 4 == kBitstreamHeaderSize);

// What a configured FPGA exposes.
struct BitstreamDesign {
  FpgaKind kind = FpgaKind::kMain;
  std::uint32_t design_id = 0;
  std::uint32_t design_version = 0;
};

enum class BitstreamState : std::uint8_t { kHunting, kHeader, kPayload, kCheck, kDone, kFailed };

enum class BitstreamError : std::uint8_t {
  kNone,
  kHeaderCheck,    // the header's CRC does not match
  kFormatVersion,  // a format this receiver does not know
  kWrongTarget,    // an image for another kind of FPGA
  kTooLong,        // payload length above kBitstreamMaxPayload
  kCheck,          // the final CRC does not match
};

// The receiving end of one configuration port. Reset it when the port's
// program line is pulsed, then feed it bits; it ends in kDone (the design is
// in `design`) or kFailed (the reason is in `error`) and ignores what follows.
struct BitstreamReceiver {
  FpgaKind expected = FpgaKind::kMain;
  BitstreamState state = BitstreamState::kHunting;
  BitstreamError error = BitstreamError::kNone;
  std::uint64_t shift = 0;        // the last 64 bits, while hunting for the sync
  std::uint64_t bits_hunted = 0;  // how many bits went into `shift`
  std::uint8_t byte = 0;          // the byte being assembled after the sync
  std::uint8_t bit_count = 0;
  std::array<std::uint8_t, kBitstreamHeaderSize> header{};
  std::size_t filled = 0;  // bytes of the current part received
  std::uint32_t payload_left = 0;
  std::uint32_t crc = 0;  // running CRC-32 state (not yet finalised)
  std::array<std::uint8_t, kBitstreamCheckSize> check{};
  BitstreamDesign design{};
};

void bitstream_receiver_reset(BitstreamReceiver& receiver, FpgaKind expected);
BitstreamState bitstream_receive_bit(BitstreamReceiver& receiver, bool bit);
// Feeds whole bytes, most significant bit first.
BitstreamState bitstream_receive_bytes(BitstreamReceiver& receiver, std::span<const std::uint8_t> bytes);

// Builds an image: preamble, sync, header, payload, check. An empty result
// when the payload is longer than kBitstreamMaxPayload.
std::vector<std::uint8_t> bitstream_build(const BitstreamDesign& design, std::span<const std::uint8_t> payload);

// Checks a whole image held in memory (a flash section, a file's content),
// exactly as a port receiving it would. kNone means valid; `design` is
// filled when it is not null and the image is valid. An image that never
// completes (no sync, cut short) is reported as kCheck.
BitstreamError bitstream_validate(std::span<const std::uint8_t> image, FpgaKind expected,
                                  BitstreamDesign* design);

// CRC-32 helpers: start with kCrc32Initial, update, finish.
inline constexpr std::uint32_t kCrc32Initial = 0xFFFFFFFFu;
std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
inline std::uint32_t crc32_finish(std::uint32_t crc) { return crc ^ 0xFFFFFFFFu; }

}  // namespace plat::board
