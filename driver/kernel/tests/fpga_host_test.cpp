// Section 3 through the real path: this process is a client of a kernel host
// that runs "Stavro.SYS" over two simulated boards.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/board/control_protocol.h"
#include "platform/board/fpga_ports.h"
#include "platform/testing/board_control.h"
#include "platform/win/machine.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

constexpr std::uint32_t kMegabyte = 1u << 20;

class FpgaHost : public StavroHostTest {
 protected:
  void SetUp() override {
    StavroHostTest::SetUp();
    // The register map of a loaded FPGA, and the interrupt that ends memory jobs.
    ASSERT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(0), 4).status, QELHW_OK);
  }

  std::int32_t WriteMemory(std::uint32_t local, const std::uint8_t* bytes, std::uint32_t count) {
    return Ask(YAT_IOCTRL_WRITE_MEMORY, YatIocMemoryIn{Board(0), local, Address(bytes), count, 0}, 4).status;
  }
  std::int32_t ReadMemory(std::uint32_t local, std::uint8_t* bytes, std::uint32_t count) {
    return Ask(YAT_IOCTRL_READ_MEMORY, YatIocMemoryIn{Board(0), local, Address(bytes), count, 0}, 4).status;
  }
  std::vector<std::uint8_t> Read(std::uint32_t local, std::uint32_t count) {
    std::vector<std::uint8_t> bytes(count, 0xEE);
    EXPECT_EQ(ReadMemory(local, bytes.data(), count), QELHW_OK);
    return bytes;
  }
  std::int32_t Fill(std::uint32_t local, std::uint32_t count, const void* pattern, std::int32_t length) {
    return Ask(YAT_IOCTRL_FILL_MEMORY, YatIocFillIn{Board(0), local, count, Address(pattern), length, 0}, 4).status;
  }
  std::int32_t Load(std::uint32_t fpga, const std::string& name, const void* image = nullptr, std::uint32_t size = 0) {
    YatFpgaLoadRecord record{};
    record.header = Board(0);
    record.fpgaId = fpga;
    std::strncpy(record.fileName, name.c_str(), sizeof record.fileName - 1);
    record.imageAddress = Address(image);
    record.imageSize = size;
    return Ask(YAT_IOCTRL_LOAD_FPG, record, 4).status;
  }
  // A firmware file made by our tool, on the machine's drive C.
  static std::string FirmwareFile(const std::string& name, bool corrupt) {
    mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio);
    recipe.payload_size = 300;
    recipe.corrupt = corrupt;
    const std::string dir = plat::machine_path("drives/c/firmware");
    std::filesystem::create_directories(dir);
    std::string error;
    EXPECT_TRUE(mkfirmware::write_firmware_file(dir + "/" + name, recipe, &error)) << error;
    return "C:\\firmware\\" + name;
  }
  static std::uint64_t Address(const void* p) { return reinterpret_cast<std::uint64_t>(p); }
  static std::uint32_t BoardRegister(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(0, offset, &value), plat::board::kControlOk);
    return value;
  }
};

TEST_F(FpgaHost, WriteOnlyRegisterReadsBackTheLastValueWritten) {
  ASSERT_EQ(Ask(YAT_IOCTRL_WRITE_REG, YatIocRegisterIn{Board(0), 0x804, 0x1234ABCD}, 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(0x804), 0u) << "the board itself does not answer it";
  const StavroReply read = Ask(YAT_IOCTRL_READ_REG, YatIocValueIn{Board(0), 0x804}, 8);
  EXPECT_EQ(read.status, QELHW_OK);
  EXPECT_EQ(read.Word(4), 0x1234ABCDu);
  // A list read sees it too, and an unreadable register stops the list.
  std::array<std::uint32_t, 4> pairs{0x804, 0, 0x1224, 0};
  const StavroReply list =
      Ask(YAT_IOCTRL_READ_BLOCK_REG, YatIocRegisterListIn{Board(0), Address(pairs.data()), 2}, 8);
  EXPECT_EQ(list.status, QELHW_ERROR_DEVICE_READ);
  EXPECT_EQ(pairs[1], 0x1234ABCDu);
}

TEST_F(FpgaHost, OnboardMemoryIsByteExactForUnalignedRanges) {
  std::array<std::uint8_t, 16> base{};
  std::iota(base.begin(), base.end(), 0x10);
  ASSERT_EQ(WriteMemory(0, base.data(), 16), QELHW_OK);
  const std::array<std::uint8_t, 5> five{0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  ASSERT_EQ(WriteMemory(3, five.data(), 5), QELHW_OK);
  const std::vector<std::uint8_t> expected{0x10, 0x11, 0x12, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,
                                           0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
  EXPECT_EQ(Read(0, 16), expected);
  EXPECT_EQ(Read(4, 3), (std::vector<std::uint8_t>{0xA2, 0xA3, 0xA4}));

  std::vector<std::uint8_t> big(4096);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + 3);
  ASSERT_EQ(WriteMemory(1024, big.data(), 4096), QELHW_OK);
  std::vector<std::uint8_t> back;
  for (auto [at, count] : {std::pair{1024u, 1024u}, {2048u, 2048u}, {4096u, 1024u}}) {
    const std::vector<std::uint8_t> piece = Read(at, count);
    back.insert(back.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(back, big);
  EXPECT_EQ(Read(0, 16), expected) << "the write at 1024 kept what lies before it";
}

TEST_F(FpgaHost, SizeProbeReportsTheBoardsSizeAndLeavesMemoryUnchanged) {
  const std::array<std::uint8_t, 8> low{1, 2, 3, 4, 5, 6, 7, 8};
  const std::array<std::uint8_t, 8> high{9, 10, 11, 12, 13, 14, 15, 16};
  ASSERT_EQ(WriteMemory(0, low.data(), 8), QELHW_OK);
  ASSERT_EQ(WriteMemory(64 * kMegabyte, high.data(), 8), QELHW_OK);
  const StavroReply size = Ask(YAT_IOCTRL_GET_MEMORY_SIZE, Board(0), 8);
  EXPECT_EQ(size.status, QELHW_OK);
  EXPECT_EQ(size.Word(4), 1024u);  // the default EEPROM: two banks of 512 MB
  EXPECT_EQ(Read(0, 8), std::vector<std::uint8_t>(low.begin(), low.end()));
  EXPECT_EQ(Read(64 * kMegabyte, 8), std::vector<std::uint8_t>(high.begin(), high.end()));
}

// Past 4 GB the probe's addresses cannot be named: a memory that never
// aliased below is reported as larger than 4 GB, not as 4 GB.
TEST_F(FpgaHost, SizeProbeOfMemoryThatNeverAliasesReportsMoreThan4GB) {
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), plat::board::kControlOk);
  for (std::size_t bank : {41u, 49u}) {  // two banks of 2048 MB
    image[bank] = 0x00;
    image[bank + 1] = 0x08;
  }
  ASSERT_EQ(plat::testing::board_control_eeprom_program(0, 0xA0, image), plat::board::kControlOk);
  plat::close_device(device_);
  ASSERT_EQ(host_->stop(), 0);
  host_ = std::make_unique<plat::testing::KernelHostProcess>(std::vector<std::string>{"FolvantX4Full"});
  ASSERT_TRUE(host_->ready());
  device_ = plat::open_device("\\\\.\\STAVRO");
  ASSERT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(0), 4).status, QELHW_OK);
  const std::array<std::uint8_t, 8> low{1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(WriteMemory(0, low.data(), 8), QELHW_OK);
  const StavroReply size = Ask(YAT_IOCTRL_GET_MEMORY_SIZE, Board(0), 8);
  EXPECT_EQ(size.status, QELHW_ERROR_DRIVER_STATUS);
  EXPECT_TRUE(plat::testing::machine_log_shows({"<GetFpgaMemorySize> Memory size > 4 GBytes"}));
  EXPECT_EQ(Read(0, 8), std::vector<std::uint8_t>(low.begin(), low.end()));
}

TEST_F(FpgaHost, FillWritesExactlyTheRange) {
  const std::vector<std::uint8_t> before(64, 0x77);
  ASSERT_EQ(WriteMemory(4096, before.data(), 64), QELHW_OK);
  const std::array<std::uint8_t, 4> pattern{0xC0, 0xC1, 0xC2, 0xC3};
  ASSERT_EQ(Fill(4096, 13, pattern.data(), 4), QELHW_OK);
  std::vector<std::uint8_t> expected(32, 0x77);
  for (std::size_t i = 0; i < 13; ++i) expected[i] = pattern[i % 4];
  EXPECT_EQ(Read(4096, 32), expected);
  EXPECT_EQ(Fill(4096, 0, pattern.data(), 4), QELHW_OK);
  EXPECT_EQ(Read(4096, 32), expected) << "a count of 0 does nothing";
  EXPECT_EQ(Fill(4096, 8, pattern.data(), 3), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Fill(0x801, 8, pattern.data(), 4), QELHW_ERROR_ARG_INVALID);
}

TEST_F(FpgaHost, XioFpgaLoadsFromAFirmwareFileAndACorruptImageFails) {
  EXPECT_EQ(BoardRegister(plat::board::kRegXioStatus) >> 20, 0u);
  EXPECT_EQ(Load(1, FirmwareFile("xio.cbn", false)), QELHW_OK);
  EXPECT_EQ(BoardRegister(plat::board::kRegXioStatus) >> 20, 1u);
  EXPECT_EQ(Load(1, FirmwareFile("bad.cbn", true)), QELHW_ERROR_FPGA_NOT_LOADED);
  EXPECT_EQ(BoardRegister(plat::board::kRegXioStatus) >> 20, 0u);
  // The same image from this process's memory.
  mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio);
  recipe.payload_size = 300;
  const std::vector<std::uint8_t> image = mkfirmware::make_firmware_file(recipe);
  EXPECT_EQ(Load(1, "", image.data(), static_cast<std::uint32_t>(image.size())), QELHW_OK);
  EXPECT_EQ(Load(1, ""), QELHW_OK) << "no file and no image: nothing to do";
  EXPECT_EQ(Load(3, ""), QELHW_ERROR_PARAMETER_INVALID);
}

// UNLOAD_FPG pulses an FPGA's program line: a secondary FPGA loses its
// design; the main one's board is stopped (its interrupt sources silenced).
TEST_F(FpgaHost, UnloadUnconfiguresASecondaryFpgaAndStopsTheMainOne) {
  ASSERT_EQ(Load(1, FirmwareFile("xio.cbn", false)), QELHW_OK);
  ASSERT_EQ(BoardRegister(plat::board::kRegXioStatus) >> 20, 1u);
  EXPECT_EQ(Ask(YAT_IOCTRL_UNLOAD_FPG, YatIocValueIn{Board(0), 1}, 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(plat::board::kRegXioStatus) >> 20, 0u);
  ASSERT_EQ(BoardRegister(0x42C) & 1u, 1u);  // the master interrupt runs
  EXPECT_EQ(Ask(YAT_IOCTRL_UNLOAD_FPG, YatIocValueIn{Board(0), 0}, 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(0x42C), 0u);
  EXPECT_EQ(Ask(YAT_IOCTRL_UNLOAD_FPG, YatIocValueIn{Board(0), 3}, 4).status, QELHW_ERROR_PARAMETER_INVALID);
  // The next load brings the board back.
  EXPECT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(0), 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(0x42C) & 1u, 1u);
}

TEST_F(FpgaHost, EveryBadUserAddressFailsTheRequest) {
  const std::uint64_t bad = 0x10;
  EXPECT_EQ(Ask(YAT_IOCTRL_READ_MEMORY, YatIocMemoryIn{Board(0), 0, bad, 16, 0}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_WRITE_MEMORY, YatIocMemoryIn{Board(0), 0, bad, 16, 0}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_FILL_MEMORY, YatIocFillIn{Board(0), 0, 16, bad, 4, 0}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_WRITE_CACHE, YatIocCacheIn{Board(0), 0x4000, bad, 4}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_WRITE_BLOCK_REG, YatIocRegisterListIn{Board(0), bad, 2}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_WRITE_PROCESSING_MEMORY, YatIocProcessingWriteIn{Board(0), 0, 0, bad, 4}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Load(1, "", reinterpret_cast<const void*>(bad), 64), QELHW_ERROR_PARAMETER_INVALID);
  // The engine was released each time: a good request still runs.
  const std::array<std::uint8_t, 8> bytes{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(WriteMemory(0, bytes.data(), 8), QELHW_OK);
}

TEST_F(FpgaHost, WriteCommandEdges) {
  struct Case {
    std::uint32_t index, kind, value;
    std::int32_t status;
  };
  for (const Case& c : {Case{0, 4, 10000, QELHW_OK}, Case{0, 4, 10001, QELHW_ERROR_PARAMETER_INVALID},
                        Case{0, 4, 0, QELHW_ERROR_PARAMETER_INVALID}, Case{8, 2, 1, QELHW_ERROR_IOC_FUNCTION},
                        Case{7, 2, 1, QELHW_OK}, Case{0, 3, 1, QELHW_ERROR_IOC_FUNCTION}})
    EXPECT_EQ(Ask(YAT_IOCTRL_WRITE_CMD, YatIocWriteCmdIn{Board(0), c.index, c.kind, c.value}, 4).status, c.status)
        << c.index << " " << c.kind << " " << c.value;
}

TEST_F(FpgaHost, ThirtyTwoBitCallerMovesMemoryWithItsNarrowRecords) {
  plat::set_device_caller_width(true);
  // A 32-bit caller's addresses fit in 4 bytes: a page below 4 GiB.
  void* page = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  std::span<std::uint8_t, 16> buffer(static_cast<std::uint8_t*>(page), 16);
  std::iota(buffer.begin(), buffer.end(), 0x40);
  const auto narrow = static_cast<std::uint32_t>(Address(buffer.data()));
  ASSERT_EQ(Ask(YAT_IOCTRL_WRITE_MEMORY, YatIocMemoryIn32{Board(0), 8, narrow, 16, 0}, 4).status, QELHW_OK);
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  ASSERT_EQ(Ask(YAT_IOCTRL_READ_MEMORY, YatIocMemoryIn32{Board(0), 8, narrow, 16, 0}, 4).status, QELHW_OK);
  EXPECT_EQ(buffer[0], 0x40);
  EXPECT_EQ(buffer[15], 0x4F);
  ::munmap(page, 4096);
}

}  // namespace
