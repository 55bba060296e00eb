// The simulated bitstream as a configuration port receives it: bit by bit,
// behind a firmware file's header and followed by whatever the loader sends.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/board/bitstream.h"

namespace plat::board {
namespace {

const BitstreamDesign kXioDesign{FpgaKind::kXio, 0x001, 0x02050111};

std::vector<std::uint8_t> Payload(std::size_t size) {
  std::vector<std::uint8_t> payload(size);
  for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return payload;
}

// What a file loader sends: a 186-byte file header, the image, a trailing
// record's worth of bytes and the closing zero bits.
std::vector<bool> AsSent(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(186 + image.size() + 92);
  bytes.assign(186, 0x48);
  bytes.insert(bytes.end(), image.begin(), image.end());
  bytes.insert(bytes.end(), 92, 0xA5);
  std::vector<bool> bits;
  for (std::uint8_t b : bytes)
    for (int i = 7; i >= 0; --i) bits.push_back(((b >> i) & 1) != 0);
  bits.insert(bits.end(), 100, false);
  return bits;
}

BitstreamReceiver FeedBits(const std::vector<bool>& bits, FpgaKind expected) {
  BitstreamReceiver receiver;
  bitstream_receiver_reset(receiver, expected);
  for (bool bit : bits) bitstream_receive_bit(receiver, bit);
  return receiver;
}

TEST(Bitstream, GoodImageFedBitByBitConfiguresTheFpga) {
  const std::vector<std::uint8_t> image = bitstream_build(kXioDesign, Payload(3000));
  ASSERT_FALSE(image.empty());
  const BitstreamReceiver receiver = FeedBits(AsSent(image), FpgaKind::kXio);
  EXPECT_EQ(receiver.state, BitstreamState::kDone);
  EXPECT_EQ(receiver.error, BitstreamError::kNone);
  EXPECT_EQ(receiver.design.kind, FpgaKind::kXio);
  EXPECT_EQ(receiver.design.design_id, 0x001u);
  EXPECT_EQ(receiver.design.design_version, 0x02050111u);
}

TEST(Bitstream, SyncIsFoundAtAnyBitOffset) {
  const std::vector<std::uint8_t> image = bitstream_build(kXioDesign, Payload(17));
  for (int shift = 1; shift < 8; ++shift) {
    std::vector<bool> bits(static_cast<std::size_t>(shift), true);
    for (bool bit : AsSent(image)) bits.push_back(bit);
    EXPECT_EQ(FeedBits(bits, FpgaKind::kXio).state, BitstreamState::kDone) << "shift " << shift;
  }
}

struct Damage {
  const char* name;
  std::function<void(std::vector<std::uint8_t>&)> apply;
  FpgaKind port;
  BitstreamError error;
};

TEST(Bitstream, DamagedOrForeignImagesFail) {
  constexpr std::size_t kHeader = kBitstreamPreambleSize + kBitstreamSync.size();
  constexpr std::size_t kPayload = kHeader + kBitstreamHeaderSize;
  const std::vector<Damage> cases = {
      {"payload bit", [](auto& i) { i[kPayload + 500] ^= 0x10; }, FpgaKind::kXio, BitstreamError::kCheck},
      {"check byte", [](auto& i) { i[i.size() - 1] ^= 0x01; }, FpgaKind::kXio, BitstreamError::kCheck},
      {"length", [](auto& i) { i[kHeader + kBitstreamOffsetLength + 3] ^= 0x04; }, FpgaKind::kXio,
       BitstreamError::kHeaderCheck},
      {"design id", [](auto& i) { i[kHeader + kBitstreamOffsetDesignId] ^= 0x80; }, FpgaKind::kXio,
       BitstreamError::kHeaderCheck},
      {"image for the main FPGA", [](auto&) {}, FpgaKind::kMain, BitstreamError::kWrongTarget},
      {"image for the expansion FPGA", [](auto&) {}, FpgaKind::kExpansion, BitstreamError::kWrongTarget},
  };
  for (const Damage& c : cases) {
    std::vector<std::uint8_t> image = bitstream_build(kXioDesign, Payload(1000));
    c.apply(image);
    const BitstreamReceiver receiver = FeedBits(AsSent(image), c.port);
    EXPECT_EQ(receiver.state, BitstreamState::kFailed) << c.name;
    EXPECT_EQ(receiver.error, c.error) << c.name;
    EXPECT_EQ(bitstream_validate(image, c.port, nullptr), c.error) << c.name;
  }
}

TEST(Bitstream, ImagesCutShortOrWithoutSyncNeverComplete) {
  const std::vector<std::uint8_t> image = bitstream_build(kXioDesign, Payload(1000));
  const std::vector<std::uint8_t> cut(image.begin(), image.begin() + 600);
  BitstreamReceiver receiver;
  bitstream_receiver_reset(receiver, FpgaKind::kXio);
  EXPECT_EQ(bitstream_receive_bytes(receiver, cut), BitstreamState::kPayload);
  EXPECT_EQ(bitstream_validate(cut, FpgaKind::kXio, nullptr), BitstreamError::kCheck);

  const std::vector<std::uint8_t> noise(4096, 0x00);
  bitstream_receiver_reset(receiver, FpgaKind::kXio);
  EXPECT_EQ(bitstream_receive_bytes(receiver, noise), BitstreamState::kHunting);
}

TEST(Bitstream, ResetStartsAFreshReception) {
  const std::vector<std::uint8_t> bad = [] {
    std::vector<std::uint8_t> image = bitstream_build(kXioDesign, Payload(64));
    image[40] ^= 0xFF;
    return image;
  }();
  BitstreamReceiver receiver;
  bitstream_receiver_reset(receiver, FpgaKind::kXio);
  EXPECT_EQ(bitstream_receive_bytes(receiver, bad), BitstreamState::kFailed);
  bitstream_receiver_reset(receiver, FpgaKind::kXio);
  EXPECT_EQ(bitstream_receive_bytes(receiver, bitstream_build(kXioDesign, Payload(64))), BitstreamState::kDone);
}

TEST(Bitstream, EmptyPayloadIsAValidDesignAndOversizeIsNotBuilt) {
  BitstreamDesign design;
  EXPECT_EQ(bitstream_validate(bitstream_build(kXioDesign, {}), FpgaKind::kXio, &design), BitstreamError::kNone);
  EXPECT_EQ(design.design_version, 0x02050111u);
  const std::vector<std::uint8_t> huge(kBitstreamMaxPayload + 1);
  EXPECT_TRUE(bitstream_build(kXioDesign, huge).empty());
}

}  // namespace
}  // namespace plat::board
