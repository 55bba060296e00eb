// How the request fuzzer reads its programs: the operations a program writer
// puts down read back as written, and most other operation bytes are requests.
#include "robustness/fuzz/requests/RequestProgram.h"

#include <gtest/gtest.h>

namespace {

using namespace request_fuzz;

TEST(RequestFuzzProgram, OperationBytesReadAsWrittenAndMostOthersAsControls) {
  for (const Operation op : {kOpen, kControl, kClose, kFill}) EXPECT_EQ(OperationOf(op), op);
  int controls = 0;
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(OperationOf(static_cast<std::uint8_t>(byte)), OperationOf(static_cast<std::uint8_t>(byte % 8))) << byte;
    controls += OperationOf(static_cast<std::uint8_t>(byte)) == kControl ? 1 : 0;
  }
  EXPECT_EQ(controls, 256 * 5 / 8);
}

TEST(RequestFuzzProgram, AWrittenControlReadsBackFieldByFieldAndZerosPastTheEnd) {
  ProgramWriter writer;
  const std::uint32_t record[2] = {0x11223344, 0x55667788};
  writer.Control(2, true, 0x222618, record, sizeof record, 0x12345);
  ProgramReader in(writer.Bytes());
  EXPECT_EQ(OperationOf(in.Read<std::uint8_t>()), kControl);
  EXPECT_EQ(in.Read<std::uint8_t>(), 2 | kNarrowCaller);
  EXPECT_EQ(in.Read<std::uint32_t>(), 0x222618u);
  EXPECT_EQ(in.Size(), 0x12345u);
  EXPECT_EQ(in.Size(), sizeof record);
  const auto bytes = in.Bytes(sizeof record + 4);
  ASSERT_EQ(bytes.size(), sizeof record);
  EXPECT_EQ(std::memcmp(bytes.data(), record, sizeof record), 0);
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(in.Read<std::uint32_t>(), 0u);
}

}  // namespace
