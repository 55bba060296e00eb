#include "platform/board/bitstream.h"

namespace plat::board {

namespace {

constexpr std::array<std::uint32_t, 256> make_crc_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = make_crc_table();

constexpr std::uint64_t sync_word() {
  std::uint64_t word = 0;
  for (std::uint8_t b : kBitstreamSync) word = (word << 8) | b;
  return word;
}
constexpr std::uint64_t kSyncWord = sync_word();

std::uint32_t load_be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void append_be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void fail(BitstreamReceiver& r, BitstreamError error) {
  r.state = BitstreamState::kFailed;
  r.error = error;
}

void header_complete(BitstreamReceiver& r) {
  const std::span<const std::uint8_t> header(r.header);
  const std::uint32_t header_crc = crc32_finish(crc32_update(kCrc32Initial, header.first(kBitstreamOffsetHeaderCheck)));
  if (header_crc != load_be32(&r.header[kBitstreamOffsetHeaderCheck])) return fail(r, BitstreamError::kHeaderCheck);
  if (r.header[kBitstreamOffsetVersion] != kBitstreamFormatVersion) return fail(r, BitstreamError::kFormatVersion);
  if (r.header[kBitstreamOffsetKind] != static_cast<std::uint8_t>(r.expected))
    return fail(r, BitstreamError::kWrongTarget);
  const std::uint32_t length = load_be32(&r.header[kBitstreamOffsetLength]);
  if (length > kBitstreamMaxPayload) return fail(r, BitstreamError::kTooLong);

  r.design.kind = r.expected;
  r.design.design_id = load_be32(&r.header[kBitstreamOffsetDesignId]);
  r.design.design_version = load_be32(&r.header[kBitstreamOffsetDesignVersion]);
  r.crc = crc32_update(kCrc32Initial, header);
  r.payload_left = length;
  r.filled = 0;
  r.state = length != 0 ? BitstreamState::kPayload : BitstreamState::kCheck;
}

void receive_byte(BitstreamReceiver& r, std::uint8_t b) {
  switch (r.state) {
    case BitstreamState::kHeader:
      r.header[r.filled++] = b;
      if (r.filled == kBitstreamHeaderSize) header_complete(r);
      return;
    case BitstreamState::kPayload:
      r.crc = crc32_update(r.crc, std::span<const std::uint8_t>(&b, 1));
      if (--r.payload_left == 0) {
        r.filled = 0;
        r.state = BitstreamState::kCheck;
      }
      return;
    case BitstreamState::kCheck:
      r.check[r.filled++] = b;
      if (r.filled == kBitstreamCheckSize) {
        if (crc32_finish(r.crc) == load_be32(r.check.data()))
          r.state = BitstreamState::kDone;
        else
          fail(r, BitstreamError::kCheck);
      }
      return;
    default:
      return;
  }
}

}  // namespace

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc;
}

void bitstream_receiver_reset(BitstreamReceiver& receiver, FpgaKind expected) {
  receiver = BitstreamReceiver{};
  receiver.expected = expected;
}

BitstreamState bitstream_receive_bit(BitstreamReceiver& r, bool bit) {
  switch (r.state) {
    case BitstreamState::kDone:
    case BitstreamState::kFailed:
      return r.state;
    case BitstreamState::kHunting:
      r.shift = (r.shift << 1) | (bit ? 1u : 0u);
      if (++r.bits_hunted >= 64 && r.shift == kSyncWord) {
        r.state = BitstreamState::kHeader;
        r.filled = 0;
        r.byte = 0;
        r.bit_count = 0;
      }
      return r.state;
    default:
      r.byte = static_cast<std::uint8_t>((r.byte << 1) | (bit ? 1 : 0));
      if (++r.bit_count == 8) {
        const std::uint8_t b = r.byte;
        r.byte = 0;
        r.bit_count = 0;
        receive_byte(r, b);
      }
      return r.state;
  }
}

BitstreamState bitstream_receive_bytes(BitstreamReceiver& r, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) {
    if (r.state == BitstreamState::kDone || r.state == BitstreamState::kFailed) break;
    for (int i = 7; i >= 0; --i) bitstream_receive_bit(r, ((b >> i) & 1) != 0);
  }
  return r.state;
}

std::vector<std::uint8_t> bitstream_build(const BitstreamDesign& design, std::span<const std::uint8_t> payload) {
  if (payload.size() > kBitstreamMaxPayload) return {};
  std::vector<std::uint8_t> image(kBitstreamPreambleSize, 0xFF);
  image.reserve(kBitstreamPreambleSize + kBitstreamSync.size() + kBitstreamHeaderSize + payload.size() +
                kBitstreamCheckSize);
  image.insert(image.end(), kBitstreamSync.begin(), kBitstreamSync.end());

  const std::size_t header_start = image.size();
  image.push_back(kBitstreamFormatVersion);
  image.push_back(static_cast<std::uint8_t>(design.kind));
  image.push_back(0);
  image.push_back(0);
  append_be32(image, design.design_id);
  append_be32(image, design.design_version);
  append_be32(image, static_cast<std::uint32_t>(payload.size()));
  const std::span<const std::uint8_t> fields(image.data() + header_start, kBitstreamOffsetHeaderCheck);
  append_be32(image, crc32_finish(crc32_update(kCrc32Initial, fields)));

  image.insert(image.end(), payload.begin(), payload.end());
  const std::span<const std::uint8_t> checked(image.data() + header_start, image.size() - header_start);
  append_be32(image, crc32_finish(crc32_update(kCrc32Initial, checked)));
  return image;
}

BitstreamError bitstream_validate(std::span<const std::uint8_t> image, FpgaKind expected, BitstreamDesign* design) {
  BitstreamReceiver receiver;
  bitstream_receiver_reset(receiver, expected);
  switch (bitstream_receive_bytes(receiver, image)) {
    case BitstreamState::kDone:
      if (design != nullptr) *design = receiver.design;
      return BitstreamError::kNone;
    case BitstreamState::kFailed:
      return receiver.error;
    default:
      return BitstreamError::kCheck;
  }
}

}  // namespace plat::board
