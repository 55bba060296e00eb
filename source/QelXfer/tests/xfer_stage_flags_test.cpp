// The stage flag word of a host destination from the pair's options and the
// acquisition's pixel layout, and the refusals it carries.
#include <gtest/gtest.h>

#include "source/QelXfer/XferYatFlags.h"

namespace {

XferFlagInputs Acquisition(std::uint32_t options, std::uint32_t format = 0x1010800) {
  XferFlagInputs in{};
  in.options = options;
  in.acquisition = true;
  in.format = format;
  in.depth = 8;
  in.mode = 1;
  return in;
}

struct FlagCase {
  const char* what;
  XferFlagInputs in;
  std::uint32_t flags;
  QelStatus status;
};

TEST(XferStageFlags, OptionsAndFormatsGiveTheirFlagsAndRefusals) {
  XferFlagInputs sixteen = Acquisition(0, 0x1021000);
  sixteen.depth = 16;
  sixteen.extension16 = 1;
  sixteen.mode = 2;
  sixteen.busBits = 32;
  sixteen.outputBits = 8;
  XferFlagInputs second = Acquisition(1u << 6, 0x61092000);
  second.connector = 1;
  const FlagCase cases[] = {
      {"plain 8-bit acquisition", Acquisition(0), 0x1000, QEL_OK},
      {"option bit 0", Acquisition(1), 0x1400, QEL_OK},
      {"option bit 4 with a packed format", Acquisition(1u << 4, 0x3810800), 0x9000, QEL_OK},
      {"option bit 4 with another format", Acquisition(1u << 4), 0x9000, 0x48282B},
      {"a packed format without option bit 4", Acquisition(0, 0x611C2000), 0x1000, 0x48282B},
      {"option bits 7, 9, 10, 11", Acquisition(0xE80), 0x51050, QEL_OK},
      {"an option bit from 15 up", Acquisition(1u << 20), 0x21000, QEL_OK},
      {"option bit 6 on connector 1 with a planar format", second, 0x5000, QEL_OK},
      {"option bit 12 with a format that is not planar", Acquisition(1u << 12), 0x1004, 0x48282B},
      {"1-bit format", Acquisition(0, 0x1180100), 0x1200, QEL_OK},
      {"16-bit extension, 8 bits out", sixteen, 0x40000004, QEL_OK},
  };
  for (const FlagCase& c : cases) {
    const XferFlagResult result = XferStageFlags(c.in);
    EXPECT_EQ(result.flags, c.flags) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what;
  }
}

TEST(XferStageFlags, TheCounterOfOptionBit3FollowsItsMode) {
  XferFlagInputs in = Acquisition(1u << 3);
  in.counterMode = 2;
  in.counterValue = 3;
  in.elementIndex = 4;
  XferFlagResult result = XferStageFlags(in);
  EXPECT_EQ(result.flags, 0x3000u);
  EXPECT_EQ(result.counter, 2u);  // (4 mod 3) + 1
  in.counterValue = 0;
  EXPECT_EQ(XferStageFlags(in).status, 0x4C01D2Bu);
  in.counterMode = 1;
  in.counterValue = 7;
  EXPECT_EQ(XferStageFlags(in).counter, 7u);
  in.counterMode = 0;
  in.bufferCounter = 0;
  EXPECT_EQ(XferStageFlags(in).status, 0x4C01C2Bu);  // a buffer without a counter
}

struct CameraInsertCase {
  const char* what;
  std::uint32_t mode;
  std::uint32_t value;
  std::uint32_t bufferCounter;
  std::uint32_t element;
  std::uint32_t buffers;  // the onboard buffers that exist
  std::uint32_t counter;
  QelStatus status;
};

// The counter names the connector's onboard buffer whose bytes lead the
// frame (1 to 16); one that does not exist is refused.
TEST(XferStageFlags, TheCounterNamesAnOnboardBufferThatExists) {
  const CameraInsertCase cases[] = {
      {"counted through buffers 1-3, element 4", 2, 3, 0, 4, 0x7, 2, QEL_OK},
      {"counted to buffer 3, which does not exist", 2, 3, 0, 2, 0x3, 3, 0x4C01C2B},
      {"the group's value, buffer 16", 1, 16, 0, 0, 0xFFFF, 16, QEL_OK},
      {"the group's value past the 16 buffers", 1, 17, 0, 0, 0xFFFF, 17, 0x4C01C2B},
      {"the group's value far past them", 1, 40, 0, 0, 0xFFFF, 40, 0x4C01C2B},
      {"the buffer's own counter", 0, 0, 2, 0, 0x2, 2, QEL_OK},
      {"the buffer's own counter, not made", 0, 0, 2, 0, 0x1, 2, 0x4C01C2B},
      {"no onboard buffer at all", 1, 1, 0, 0, 0, 1, 0x4C01C2B},
  };
  for (const CameraInsertCase& c : cases) {
    XferFlagInputs in = Acquisition(1u << 3);
    in.counterMode = c.mode;
    in.counterValue = c.value;
    in.bufferCounter = c.bufferCounter;
    in.elementIndex = c.element;
    in.cameraInsertBuffers = c.buffers;
    const XferFlagResult result = XferStageFlags(in);
    EXPECT_EQ(result.flags, 0x3000u) << c.what;
    EXPECT_EQ(result.counter, c.counter) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what;
  }
}

// The acquisition with the correction on over coefficient buffers 1-3,
// buffer 1 selected and made for an area camera.
XferFlagInputs Corrected(std::uint32_t use, std::uint32_t options = 0, std::uint32_t format = 0x1010800) {
  XferFlagInputs in = Acquisition(options, format);
  in.flatField = true;
  in.selected = 1;
  in.storedMode = 1;
  in.coefficientUse = use;
  in.coefficientBuffers = 0x7;
  return in;
}

struct FlatFieldCase {
  const char* what;
  XferFlagInputs in;
  std::uint32_t flags;
  std::uint32_t insertIndex;
  QelStatus status;
};

TEST(XferStageFlags, FlatFieldCoefficientsGiveTheirInsertFlagsAndBuffer) {
  auto with = [](XferFlagInputs in, auto change) {
    change(in);
    return in;
  };
  const XferFlagInputs selected = Corrected(1);
  const FlatFieldCase cases[] = {
      {"correction off", with(selected, [](auto& in) { in.flatField = false; }), 0x1000, 0, QEL_OK},
      {"the selection, made for an area camera", selected, 0x1001, 1, QEL_OK},
      {"the selection, made for a line-scan camera", with(selected, [](auto& in) { in.storedMode = 2; }), 0x1002, 1,
       QEL_OK},
      {"a line-scan acquisition", with(selected, [](auto& in) { in.mode = 2; in.selected = 3; }), 0x1002, 3, QEL_OK},
      {"counted through buffers 1-3, element 4", with(Corrected(2), [](auto& in) { in.elementIndex = 4; }), 0x1001, 2,
       QEL_OK},
      {"the pair's own buffer", with(Corrected(4), [](auto& in) { in.pairCoefficient = 3; }), 0x1001, 3, QEL_OK},
      {"no selection", with(selected, [](auto& in) { in.selected = 0; }), 0x1001, 0, 0x470C2B},
      {"a selection that does not exist", with(selected, [](auto& in) { in.selected = 4; }), 0x1001, 4, 0x470C2B},
      {"counted without buffer 1", with(Corrected(2), [](auto& in) { in.coefficientBuffers = 0x6; }), 0x1001, 0,
       0x4C01A2B},
      {"the pair names no buffer", Corrected(4), 0x1001, 0, 0x4C0172B},
      {"the pair names buffer 9", with(Corrected(4), [](auto& in) { in.pairCoefficient = 9; }), 0x1001, 9, 0x4C0172B},
      {"a later counter refusal wins", Corrected(4, 1u << 3), 0x3001, 0, 0x4C01C2B},
      {"a later format refusal wins", with(selected, [](auto& in) { in.selected = 0; in.options = 1u << 4; }), 0x9001,
       0, 0x48282B},
      {"a later counter that is sound keeps the refusal",
       with(selected,
            [](auto& in) {
              in.selected = 0;
              in.options = 1u << 3;
              in.bufferCounter = 5;
              in.cameraInsertBuffers = 0x1F;
            }),
       0x3001, 0, 0x470C2B},
  };
  for (const FlatFieldCase& c : cases) {
    const XferFlagResult result = XferStageFlags(c.in);
    EXPECT_EQ(result.flags, c.flags) << c.what;
    EXPECT_EQ(result.insertIndex, c.insertIndex) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what;
  }
}

}  // namespace
