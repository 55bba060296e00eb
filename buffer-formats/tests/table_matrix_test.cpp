// Which format index has which operation, what an empty or out-of-range entry
// answers, and which formats share their handlers.
#include <string>

#include "TestBuffer.h"

namespace {

template <class Handler>
bool Present(const FmtTable<Handler>& table, std::uint32_t index) {
  return BufferFormatEntry(table, index) != nullptr;
}

std::string Row(std::uint32_t index) {
  const BufferFormatOpsTables& t = BufferFormatOps;
  const bool cells[] = {
      Present(t.ReadLinear, index),   Present(t.WriteLinear, index),  Present(t.ReadChain, index),
      Present(t.WriteChain, index),   Present(t.GetElement, index),   Present(t.SetElement, index),
      Present(t.GetElementEx, index), Present(t.SetElementEx, index), Present(t.ReadLine, index),
      Present(t.WriteLine, index),    Present(t.ReadRect, index),     Present(t.WriteRect, index),
      Present(t.Clear, index),        Present(t.ClearElement, index), Present(t.Copy, index),
      Present(t.CopyRect, index),     Present(t.BayerConvert, index), Present(t.BayerWhiteBalance, index),
      Present(t.Convert, index),      Present(t.SplitPlanes, index),  Present(t.MergePlanes, index)};
  std::string row;
  for (bool cell : cells) row += cell ? 'x' : '-';
  return row;
}

// Operations 0 to 20 per format index. The Bayer, conversion (but for the
// 24-, 32- and 64-bit families), plane and MONO1 cells are not served yet.
const char* const kMatrix[kBufferFormatIndexCount] = {
    "---------------------",  // 0 none
    "xxxxxxxxxxxxxxxx-----",  // 1 MONO8
    "xxxxxxxxxxxxxxxx-----",  // 2 MONO16
    "xxxxxx--xxxxxxxx--x--",  // 3 MONO24
    "xxxxxxxxxxxxxxxx--x--",  // 4 MONO32
    "xxxxxxxxxxxxxxxx--x--",  // 5 MONO64
    "xxxxxxxxxxxxxxxx-----",  // 6 RGB5551
    "xxxxxxxxxxxxxxxx-----",  // 7 RGB565
    "xxxxxxxxxxxxxxxx-----",  // 8 RGB888
    "xxxxxxxxxxxxxxxx-----",  // 9 RGB8888
    "xxxxxxxxxxxxxxxx-----",  // 10 RGB101010
    "----xxxx----xx-------",  // 11 RGB161616
    "xxxxxxxxxxxxxxxx-----",  // 12 HSV
    "xxxxxxxxxxxxxxxx-----",  // 13 UYVY
    "xxxxxxxxxxxxxxxx-----",  // 14 YUY2
    "xxxxxx--xxxxxxxx-----",  // 15 YVYU
    "xxxxxxxxxxxxxxxx-----",  // 16 YUYV
    "------xx-----x-------",  // 17 Y411
    "---------------------",  // 18 Y211
    "xxxxxxxxxxxxxxxx-----",  // 19 YUV
    "xxxxxxxxxxxxxxxx-----",  // 20 FLOAT
    "xxxxxxxxxxxxxxxx-----",  // 21 COMPLEX
    "xxxxxxxxxxxxxxxx-----",  // 22 POINT
    "xxxxxxxxxxxxxxxx-----",  // 23 FPOINT
    "---------------------",  // 24 MONO1
    "xxxxxx-xxxxxxxxx-----",  // 25 HSI
    "xxxxxxxxxxxxxxxx-----",  // 26 UYV
    "xxxxxxxxxxxxxxxx-----",  // 27 RGB16161616
    "xxxxxxxxxxxxxxxx-----",  // 28 LAB
    "------xxxxxxxxxx-----",  // 29 LAB16161616
    "------xxxxxxxxxx-----",  // 30 LAB101010
    "xxxxxxxxxxxxxxxx-----",  // 31 RGBR888
};

TEST(BufferFormatTables, EveryIndexHasExactlyItsOperations) {
  for (std::uint32_t index = 0; index < kBufferFormatIndexCount; ++index) {
    EXPECT_EQ(Row(index), kMatrix[index]) << "format index " << index;
  }
}

TEST(BufferFormatTables, EachFamilyServesItsElementSize) {
  const BufferFormatOpsTables& t = BufferFormatOps;
  const std::vector<std::vector<std::uint32_t>> families = {
      {1}, {2, 6, 7, 13, 14, 15, 16}, {3, 8, 26, 31}, {4, 9, 10, 12, 19, 20, 25, 28, 30}, {5, 21, 22, 23, 27, 29}};
  for (const auto& family : families) {
    for (std::uint32_t index : family) {
      SCOPED_TRACE(index);
      EXPECT_EQ(t.ReadLine[index], t.ReadLine[family.front()]);
      EXPECT_EQ(t.Copy[index], t.Copy[family.front()]);
    }
  }
}

TEST(BufferFormatTables, FormatsThatShareTheirComponentHandlers) {
  const BufferFormatOpsTables& t = BufferFormatOps;
  for (std::uint32_t index : {12u, 19u}) {  // HSV, YUV with RGB8888
    EXPECT_EQ(t.GetElementEx[index], t.GetElementEx[9]);
    EXPECT_EQ(t.SetElementEx[index], t.SetElementEx[9]);
  }
  EXPECT_EQ(t.SetElementEx[25], t.SetElementEx[9]);  // HSI sets, but does not get
  EXPECT_EQ(t.GetElementEx[16], t.GetElementEx[14]);  // YUYV with YUY2
  EXPECT_EQ(t.SetElementEx[16], t.SetElementEx[14]);
  EXPECT_EQ(t.GetElementEx[23], t.GetElementEx[22]);  // the point formats
  EXPECT_NE(t.GetElementEx[28], t.GetElementEx[9]);   // LAB has its own
}

int calls = 0;
std::uint32_t CountingClear(const BufferDescriptor*, std::uint32_t) {
  ++calls;
  return 0x233;
}

TEST(BufferFormatTables, IndexesOutsideTheTablesAndEmptyEntriesAnswerNotImplemented) {
  FmtTable<FmtClear> table{};
  table.fill(CountingClear);
  BufferDescriptor buffer{};
  for (std::uint32_t index : {32u, 33u, 63u, 0xFFFFFFFFu}) {
    EXPECT_EQ(BufferFormatEntry(table, index), nullptr);
    EXPECT_EQ(BufferFormatCall(table, index, &buffer, 0u), 0x800046u);
  }
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(BufferFormatCall(table, 31, &buffer, 0u), 0x800233u);  // module bits ORed onto a low status
  EXPECT_EQ(calls, 1);
}

TEST(BufferFormatTables, AnEmptyCellLeavesMemoryAlone) {
  for (std::uint32_t format : {kBufferFormatY211, kBufferFormatMono1, kBufferFormatLab16161616}) {
    TestBuffer buffer(format, 8, 4);
    buffer.FillPattern();
    const auto before = buffer.Snapshot();
    std::vector<std::uint8_t> memory(64);
    EXPECT_EQ(Dispatch(BufferFormatOps.ReadLinear, buffer.desc(), std::uint64_t{0}, memory.data(), 8u), 0x800046u);
    EXPECT_EQ(Dispatch(BufferFormatOps.WriteLinear, buffer.desc(), std::uint64_t{0},
                       static_cast<const void*>(memory.data()), 8u), 0x800046u);
    EXPECT_EQ(buffer.Snapshot(), before);
  }
}

}  // namespace
