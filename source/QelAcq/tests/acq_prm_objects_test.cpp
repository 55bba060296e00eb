// CAM and VIC parameter objects in a process with the simulated memory:
// the default sets with their modified bits, the checks of every entry, and
// what a free gives back.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "firmware/win32/QelMemBinding.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAcq/AcqPrmObjects.h"

namespace {

class AcqPrmObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadQelLog();
    ASSERT_TRUE(host_.ready());
    ASSERT_TRUE(LoadQelMem("Quillet.DLL"));
  }
  void TearDown() override {
    UnloadQelMem();
    UnloadQelLog();
  }

  static std::uint32_t Cam(const QelHandle* handle, std::uint32_t index) {
    std::array<std::uint32_t, 288> words{};
    EXPECT_EQ(CamGetPrm(handle, AcqPrmIdOf(index), words.data()), 0u) << index;
    return words[0];
  }
  static std::uint32_t Vic(const QelHandle* handle, std::uint32_t index) {
    std::array<std::uint32_t, 16> words{};
    EXPECT_EQ(VicGetPrm(handle, AcqPrmIdOf(index), words.data()), 0u) << index;
    return words[0];
  }
  template <typename Block>
  static Block* BlockOf(const QelHandle* handle) {
    return reinterpret_cast<Block*>(static_cast<std::uintptr_t>(handle->record));
  }

  plat::testing::ScopedMachine machine_;
  plat::testing::KernelHostProcess host_{{"FolvantX4Full"}};
};

TEST_F(AcqPrmObjects, ANewCamObjectCarriesTheDefaultSetAndItsModifiedBits) {
  QelHandle* handle = nullptr;
  ASSERT_EQ(CamNew(&handle), 0u);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->tag, 0xcccc0102u);
  EXPECT_EQ(handle->self, reinterpret_cast<std::uint64_t>(handle));
  EXPECT_NE(handle->reserved, 0u) << "the block's address word";
  EXPECT_LT(handle->reserved, 0x4000000u) << "below the limit the board reads";
  const CamPrmBlock* block = BlockOf<CamPrmBlock>(handle);
  EXPECT_EQ(block->kind, 1u);
  EXPECT_EQ(block->size, 2136u);
  EXPECT_EQ(block->modified.count, 64u);
  for (std::uint32_t i = 0; i < kAcqCamPrmCount; ++i) {
    const bool written = i != 8 && i != 111 && i != 112 && i != 119;
    EXPECT_EQ(AcqIsModified(block, i), written) << "CAM " << i;
  }
  for (const auto& [index, value] :
       {std::pair{0u, 1u}, {5u, 1u}, {6u, 8u}, {7u, 2u}, {9u, 1u}, {10u, 0u}, {16u, 1u}, {27u, 1u}, {28u, 1u},
        {34u, 1u}, {49u, 1u}, {50u, 2u}, {51u, 1u}, {58u, 1u}, {59u, 4u}, {62u, 2u}, {64u, 0xFFFFFFFFu},
        {66u, 0xFFFFFFFFu}, {70u, 1u}, {77u, 1u}, {83u, 53550u}, {84u, 714000u}, {96u, 2u}, {99u, 1u},
        {108u, 1u}, {109u, 8u}, {110u, 0u}, {118u, 0u}})
    EXPECT_EQ(Cam(handle, index), value) << "CAM " << index;
  char text[64] = {};
  ASSERT_EQ(CamGetPrm(handle, 0x290040, text), 0u);
  EXPECT_STREQ(text, "No Name");
  ASSERT_EQ(CamGetPrm(handle, 0x510020, text), 0u);
  EXPECT_STREQ(text, "No Name");
  EXPECT_EQ(CamFree(handle), 0u);
}

TEST_F(AcqPrmObjects, ANewVicObjectCarriesTheDefaultSetAndItsModifiedBits) {
  QelHandle* handle = nullptr;
  ASSERT_EQ(VicNew(&handle), 0u);
  EXPECT_EQ(handle->tag, 0xcccc0100u);
  const VicPrmBlock* block = BlockOf<VicPrmBlock>(handle);
  EXPECT_EQ(block->kind, 1u);
  EXPECT_EQ(block->size, 960u);
  for (std::uint32_t i = 2048; i < 2048 + kAcqVicPrmCount; ++i) {
    const bool written = i != 2094 && i != 2098 && i != 2117 && i != 2118 && i != 2143 && (i < 2164 || i > 2166) &&
                         i != 2175;
    EXPECT_EQ(AcqIsModified(block, i), written) << "VIC " << i;
  }
  for (const auto& [index, value] :
       {std::pair{2048u, 0u}, {2049u, 255u}, {2050u, 1u}, {2055u, 100000u}, {2060u, 100000u}, {2071u, 1u},
        {2088u, 0x01010800u}, {2092u, 1u}, {2095u, 4u}, {2099u, 1u}, {2100u, 1u}, {2113u, 1u}, {2126u, 60u},
        {2127u, 0xFFFFFFFFu}, {2132u, 0xFFFFFFFFu}, {2134u, 1u}, {2141u, 2u}, {2147u, 1u}, {2150u, 4u}})
    EXPECT_EQ(Vic(handle, index), value) << "VIC " << index;
  char text[64] = {};
  ASSERT_EQ(VicGetPrm(handle, 0x82d0040, text), 0u);
  EXPECT_STREQ(text, "No Name");
  EXPECT_EQ(VicFree(handle), 0u);
}

TEST_F(AcqPrmObjects, EntriesCheckHandlePointerIndexAndSize) {
  QelHandle* cam = nullptr;
  QelHandle* vic = nullptr;
  ASSERT_EQ(CamNew(&cam), 0u);
  ASSERT_EQ(VicNew(&vic), 0u);
  std::array<std::uint8_t, 80> buffer{};
  buffer.fill(0xEE);
  EXPECT_EQ(CamNew(nullptr), 0x1000236u);
  EXPECT_EQ(VicNew(nullptr), 0x4400236u);
  // Indexes outside the kind.
  EXPECT_EQ(CamGetPrm(cam, (120u << 16) | 4, buffer.data()), (120u << 8) | 0x1000028u);
  EXPECT_EQ(VicGetPrm(vic, (2178u << 16) | 4, buffer.data()), ((2178u & 0xFFF) << 8) | 0x4400028u);
  EXPECT_EQ(VicGetPrm(vic, (6u << 16) | 4, buffer.data()), (6u << 8) | 0x4400028u);
  // A size field other than the parameter's span is refused, and nothing is copied.
  EXPECT_EQ(CamGetPrm(cam, (41u << 16) | 4, buffer.data()), (41u << 8) | 0x1000028u);
  EXPECT_EQ(CamSetPrm(cam, (41u << 16) | 4, buffer.data()), (41u << 8) | 0x1000028u);
  EXPECT_EQ(VicGetPrm(vic, (2093u << 16) | 0x80, buffer.data()), ((2093u & 0xFFF) << 8) | 0x4400028u);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(CamSetPrmValue(cam, 0x290040, 7), (41u << 8) | 0x1000028u) << "a value fills one word only";
  // A text parameter copies its 64 bytes.
  std::memcpy(buffer.data(), "Camera A", 9);
  ASSERT_EQ(CamSetPrm(cam, 0x290040, buffer.data()), 0u);
  buffer.fill(0xEE);
  ASSERT_EQ(CamGetPrm(cam, 0x290040, buffer.data()), 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "Camera A");
  EXPECT_EQ(buffer[64], 0xEE);
  // Null pointers, then handles.
  EXPECT_EQ(CamGetPrm(cam, 0x60004, nullptr), 0x1000336u);
  EXPECT_EQ(VicSetPrm(vic, 0x8000004, nullptr), 0x4400336u);
  EXPECT_EQ(CamGetPrm(nullptr, 0x60004, buffer.data()), 0x1010201u);
  EXPECT_EQ(CamGetPrm(vic, 0x60004, buffer.data()), 0x1010201u) << "a VIC handle is no CAM handle";
  EXPECT_EQ(VicGetPrm(cam, 0x8000004, buffer.data()), 0x4410001u);
  QelHandle forged = *cam;
  forged.record += 8;
  EXPECT_EQ(CamSetPrmValue(&forged, 0x60004, 10), 0x1010201u) << "a block this process did not make";
  EXPECT_EQ(CamGetPrmRefused(cam, 0x60004, buffer.data()), 0x100004Cu);
  EXPECT_EQ(VicGetPrmRefused(vic, 0x8000004, nullptr), 0x4400336u);
  EXPECT_EQ(VicGetPrmRefused(cam, 0x8000004, buffer.data()), 0x4410001u);
  // A set marks its parameter; the defaults put everything back.
  const CamPrmBlock* block = BlockOf<CamPrmBlock>(cam);
  EXPECT_FALSE(AcqIsModified(block, 8));
  ASSERT_EQ(CamSetPrmValue(cam, 0x80004, 3), 0u);
  EXPECT_TRUE(AcqIsModified(block, 8));
  ASSERT_EQ(CamSetPrmValue(cam, 0x60004, 12), 0u);
  ASSERT_EQ(CamSetDefaults(cam), 0u);
  EXPECT_EQ(Cam(cam, 6), 8u);
  EXPECT_EQ(Cam(cam, 8), 3u) << "a parameter the set does not name keeps its value";
  const QelHandle copy = *cam;
  EXPECT_EQ(CamFree(cam), 0u);
  EXPECT_EQ(VicFree(vic), 0u);
  EXPECT_EQ(CamGetPrm(&copy, 0x60004, buffer.data()), 0x1010201u) << "freed: no longer a live object";
}

TEST_F(AcqPrmObjects, DefaultsOntoADeviceBlock) {
  EXPECT_EQ(CamSetDefaultsToBlock(nullptr), 0x136u);
  EXPECT_EQ(VicSetDefaultsToBlock(nullptr), 0x136u);
  CamPrmBlock cam{};
  VicPrmBlock vic{};
  AcqInitRecordBlock(&cam);
  AcqInitRecordBlock(&vic);
  ASSERT_EQ(CamSetDefaultsToBlock(&cam), 0u);
  ASSERT_EQ(VicSetDefaultsToBlock(&vic), 0u);
  EXPECT_EQ(cam.kind, 0u) << "a device's block keeps its header";
  EXPECT_EQ(*AcqPrmWords(&cam, 84), 714000u);
  EXPECT_TRUE(AcqIsModified(&cam, 84));
  EXPECT_FALSE(AcqIsModified(&cam, 119));
  EXPECT_EQ(*AcqPrmWords(&vic, 2126), 60u);
  EXPECT_FALSE(AcqIsModified(&vic, 2098));
  // The temporary handle is gone: the block is no object.
  QelHandle handle{};
  handle.tag = 0xcccc0102;
  handle.record = reinterpret_cast<std::uint64_t>(&cam);
  EXPECT_EQ(CamSetPrmValue(&handle, 0x60004, 10), 0x1010201u);
}

// A handle of the right kind whose block is gone is freed, as a CAM handle is,
// and answers the invalid-handle status; a handle this process did not make
// is never freed.
TEST_F(AcqPrmObjects, FreeOfAHandleWithoutABlockFreesItsRecord) {
  QelHandle* vic = nullptr;
  ASSERT_EQ(VicNew(&vic), 0u);
  void* block = reinterpret_cast<void*>(static_cast<std::uintptr_t>(vic->record));
  HandleRegistryRemove(0xcccc0100, block);
  ASSERT_EQ(QelManFreeContigBuffer(block), 0u);
  vic->record = 0;
  EXPECT_EQ(VicFree(vic), 0x4410001u);  // the handle record is freed (the leak check would see it otherwise)

  QelHandle forged{};
  forged.tag = 0xcccc0100;
  EXPECT_EQ(VicFree(&forged), 0x4410001u);
  forged.tag = 0xcccc0102;
  EXPECT_EQ(CamFree(&forged), 0x1010201u);
  EXPECT_EQ(VicFree(nullptr), 0x4410001u);
}

}  // namespace
