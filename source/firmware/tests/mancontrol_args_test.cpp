// Manager control's argument tests, in the order its rows make them, within
// one process: each case fails a test before anything reaches the board.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/testing/machine_fixture.h"
#include "platform/win/machine.h"
#include "source/firmware/ManControl.h"

namespace {

constexpr int kAbsent = -1;

struct Case {
  std::uint32_t code;
  int inputSize;  // kAbsent: no input
  std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> words;  // (offset, value) in the input
  std::uint8_t firstByte;
  int outputSize;  // kAbsent: no output
  QelStatus expected;
};

const Case kCases[] = {
    // Codes without a row.
    {0x80000073, kAbsent, {}, 0, 8, 70},
    {0x80000060, kAbsent, {}, 0, 8, 70},
    {0x8000000C, kAbsent, {}, 0, 8, 70},
    {0x80000069, kAbsent, {}, 0, 8, 70},
    // Board information and EEPROM words.
    {0x80000015, kAbsent, {}, 0, 30, 1586},
    {0x80000016, kAbsent, {}, 0, kAbsent, 1334},
    {0x80000019, kAbsent, {}, 0, kAbsent, 1334},
    {0x80000019, kAbsent, {}, 0, 8, 1586},
    {0x8000003B, 4, {}, 0, 30, 1586},
    {0x8000003B, kAbsent, {}, 0, 31, 822},
    {0x8000003B, 3, {}, 0, 31, 1074},
    {0x8000003C, kAbsent, {}, 0, 8, 822},
    // Raw EEPROM, device parameters and flash: counted reads and writes.
    {0x8000004D, kAbsent, {}, 0, 64, 822},
    {0x8000004D, 44, {}, 0, kAbsent, 1334},
    {0x8000004D, 40, {}, 0, 64, 1074},
    {0x8000004D, 44, {{40, 16}}, 0, 8, 1586},
    {0x8000004D, 44, {{36, 250}, {40, 8}}, 0, 8, 1074},
    {0x8000004E, kAbsent, {}, 0, kAbsent, 822},
    {0x8000004E, 40, {}, 0, kAbsent, 1074},
    {0x8000004E, 47, {{40, 4}}, 0, kAbsent, 1074},
    {0x8000004E, 52, {{36, 250}, {40, 8}}, 0, kAbsent, 1074},
    {0x80000061, kAbsent, {}, 0, kAbsent, 822},
    {0x80000061, 12, {}, 0, kAbsent, 1334},
    {0x80000061, 16, {}, 0, 8, 1074},
    {0x80000061, 12, {{8, 9}}, 0, 8, 1586},
    {0x80000062, 8, {}, 0, kAbsent, 1074},
    {0x80000062, 15, {{8, 4}}, 0, kAbsent, 1074},
    {0x80000063, 12, {{8, 9}}, 0, 8, 1586},
    {0x80000064, kAbsent, {}, 0, kAbsent, 822},
    {0x80000064, 13, {{8, 2}}, 0, kAbsent, 1074},
    {0x80000065, kAbsent, {}, 0, kAbsent, 1334},
    {0x80000065, kAbsent, {}, 0, 4, 1586},
    // The version record's own statuses.
    {0x80000054, kAbsent, {}, 0, 8, 0x3000332},
    {0x80000054, 4, {}, 0, 8, 0x3000432},
    {0x80000054, 8, {}, 0, kAbsent, 0x3000532},
    {0x80000054, 8, {}, 0, 2, 0x3000632},
    {0x80000054, 8, {{0, 4096}, {4, 100}}, 0, 400, 0x3000332},
    // The monitor before it is bound.
    {0x80000059, 4, {}, 0, 4, kManControlMonitorAbsent},
    {0x8000005C, kAbsent, {}, 0, kAbsent, kManControlMonitorAbsent},
    // EEPROM fields: the output first.
    {0x8000006B, kAbsent, {}, 0, kAbsent, 1334},
    {0x8000006B, kAbsent, {}, 0, 4, 822},
    {0x8000006B, 8, {}, 0, 4, 1074},
    {0x8000006B, 12, {}, 0, 8, 1586},
    {0x8000006C, 16, {}, 0, 567, 1586},
    {0x8000006D, 16, {}, 0, 255, 1586},
    {0x8000006E, 271, {}, 0, 4, 1074},
    {0x8000006F, 272, {}, 0, 3, 1586},
    {0x80000070, kAbsent, {}, 0, kAbsent, 1334},
    {0x80000070, kAbsent, {}, 0, 8, 1586},
    {0x80000071, kAbsent, {}, 0, kAbsent, 822},
    {0x80000071, 523, {}, 0, kAbsent, 1074},
    {0x80000072, 268, {}, 0, kAbsent, 1334},
    {0x80000072, 267, {}, 0, 256, 1074},
    // Board private commands: registers by their kind byte.
    {0x8000000D, kAbsent, {}, 0, kAbsent, 822},
    {0x8000000D, 13, {}, 0, kAbsent, 1074},
    {0x8000000D, 13, {}, 1, kAbsent, 1074},
    {0x8000000D, 12, {}, 2, kAbsent, 1074},
    {0x8000000F, 9, {}, 1, 4, 1074},
    {0x8000000F, 9, {}, 3, 4, 1586},
    {0x8000000F, 9, {}, 2, 3, 1586},
    {0x8000000F, 10, {}, 2, 4, 1074},
    {0x80000010, 259, {}, 0, kAbsent, 1074},
    // The rows that do nothing.
    {0x8000002E, kAbsent, {}, 0, kAbsent, 818},
    {0x8000002E, kAbsent, {}, 0, 6, 70},
    {0x8000002E, kAbsent, {}, 0, 5, 1074},
    {0x80000056, kAbsent, {}, 0, kAbsent, 818},
    {0x80000056, 10, {}, 0, kAbsent, 70},
    {0x80000056, 9, {}, 0, kAbsent, 1074},
    {0x80000033, kAbsent, {}, 0, 4, 1074},
    // On-board memory.
    {0x8000003D, kAbsent, {}, 0, kAbsent, 818},
    {0x8000003D, 22, {}, 0, kAbsent, 1074},
    {0x8000003D, 21, {}, 3, kAbsent, 1330},
    {0x8000003D, 21, {}, 0, kAbsent, static_cast<QelStatus>(-3)},
    {0x8000003D, 25, {}, 1, kAbsent, static_cast<QelStatus>(-3)},
    {0x8000003E, 21, {}, 5, kAbsent, 1330},
    {0x8000003E, 21, {}, 0, kAbsent, static_cast<QelStatus>(-3)},
    {0x8000003E, 21, {{9, 0x1000}}, 1, kAbsent, static_cast<QelStatus>(-3)},
    {0x8000003E, 21, {}, 3, kAbsent, static_cast<QelStatus>(-3)},
    {0x8000003E, 21, {{9, 0x1000}}, 3, kAbsent, static_cast<QelStatus>(-2004)},
    {0x8000003F, kAbsent, {}, 0, kAbsent, 1334},
    {0x8000003F, kAbsent, {}, 0, 3, 1586},
    // FPGA names and state, firmware files, the monitor's FIFO.
    {0x8000004A, 4, {}, 0, kAbsent, 1586},
    {0x8000004A, kAbsent, {}, 0, 8, 822},
    {0x8000004B, 259, {}, 0, kAbsent, 1074},
    {0x8000004C, kAbsent, {}, 0, kAbsent, 1586},
    {0x8000004C, kAbsent, {}, 0, 19, 1586},
    {0x8000005D, kAbsent, {}, 0, kAbsent, 822},
    {0x8000005D, 7, {}, 0, kAbsent, 1074},
    {0x80000067, kAbsent, {}, 0, kAbsent, 822},
    {0x80000067, 4, {}, 0, kAbsent, 1074},
    {0x80000068, kAbsent, {}, 0, kAbsent, 822},
    {0x80000068, 11, {}, 0, kAbsent, 1074},
    {0x80000068, 12, {}, 0, kAbsent, kManControlMonitorAbsent},
};

TEST(ManagerControlArguments, EachRowTestsItsInputAndOutputInOrderBeforeTheBoard) {
  plat::testing::ScopedMachine machine;
  for (const Case& c : kCases) {
    std::vector<std::uint8_t> input(c.inputSize > 0 ? c.inputSize : 0, 0);
    if (!input.empty()) input[0] = c.firstByte;
    for (const auto& [offset, value] : c.words) std::memcpy(input.data() + offset, &value, sizeof value);
    // A guard after the output shows nothing is written past it.
    std::vector<std::uint8_t> output((c.outputSize > 0 ? c.outputSize : 0) + 16, 0xA5);
    const QelStatus status =
        ManControl(0, c.code, c.inputSize == kAbsent ? nullptr : input.data(), input.size(),
                   c.outputSize == kAbsent ? nullptr : output.data(), c.outputSize > 0 ? c.outputSize : 0);
    EXPECT_EQ(status, c.expected) << std::hex << c.code << " input " << std::dec << c.inputSize << " output "
                                  << c.outputSize;
    for (std::size_t i = output.size() - 16; i < output.size(); ++i) ASSERT_EQ(output[i], 0xA5) << std::hex << c.code;
  }
}

// The version record of a file: a capacity of 0 asks for the size only and
// reads no file; a larger one stops at capacity + 4 and at the output.
TEST(ManagerControlArguments, AFileVersionRecordOfCapacity0GivesItsSizeAndTheRecordStopsAtItsRoom) {
  plat::testing::ScopedMachine machine;
  std::uint32_t request[2] = {4096, 0};
  std::uint32_t size = 0xFFFFFFFF;
  EXPECT_EQ(ManControl(0, 0x80000054, request, sizeof request, &size, sizeof size), QEL_OK);
  EXPECT_EQ(size, 294u);
  // No file in the system directory: no version information.
  std::filesystem::create_directories(plat::system_dir());
  request[1] = 294;
  std::vector<std::uint8_t> record(298, 0);
  EXPECT_EQ(ManControl(0, 0x80000054, request, sizeof request, record.data(), record.size()), 61u);
  // The library itself, linked where the system keeps it.
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  std::filesystem::create_symlink(self / "Quillet.DLL", std::filesystem::path(plat::system_dir()) / "Quillet.DLL");
  for (std::uint32_t room : {300u, 298u, 200u, 120u}) {
    request[1] = 296;
    record.assign(room + 16, 0xA5);
    ASSERT_EQ(ManControl(0, 0x80000054, request, sizeof request, record.data(), room), QEL_OK) << room;
    const std::size_t written = std::min<std::size_t>(room, 298);
    for (std::size_t i = written; i < record.size(); ++i)
      ASSERT_EQ(record[i], i < room ? 0 : 0xA5) << room << " " << i;
    std::uint32_t words[4];
    std::memcpy(words, record.data(), sizeof words);
    EXPECT_EQ(words[0], 294u);
    EXPECT_EQ(words[3], 7u);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.data() + 48), "Quillet.DLL");
    if (room < 298) continue;
    EXPECT_EQ(std::memcmp(record.data() + 112, "HABRIX_CBH", 10), 0);
    EXPECT_EQ(record[112 + 11], 186);
    EXPECT_EQ(record[112 + 31], 1);  // major
    std::uint16_t revision = 0;
    std::memcpy(&revision, record.data() + 112 + 28, sizeof revision);
    EXPECT_EQ(revision, 100u);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.data() + 112 + 58), "Tramond-CL_RZ6 server driver");
  }
}

}  // namespace
