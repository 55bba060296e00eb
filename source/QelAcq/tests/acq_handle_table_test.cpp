// The process's table of device handle objects is looked up by request and
// event threads while the module's start and end add and remove handles:
// every lookup finds the record or answers 32769, never a handle being freed,
// and a handle a caller still holds stays a handle object.
#include <gtest/gtest.h>

#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/tests/acq_lookup_race.h"

namespace {

constexpr std::uint32_t kBoard = 15, kSlot = 12;

TEST(AcqHandleTable, LookupsWhileHandlesComeAndGoFindTheRecordOrNothing) {
  QelHandle* own = AcqAllocHandle(kBoard, kSlot);
  ASSERT_NE(own, nullptr);
  const QelHandle probe = *own;  // a request's copy of the handle
  AcqDeviceRecord* const expected = reinterpret_cast<AcqDeviceRecord*>(probe.record);

  const auto wrongAnswers = [&] {
    std::uint32_t wrong = 0;
    AcqDeviceRecord* record = nullptr;
    const QelStatus status = AcqGetDeviceRecord(&probe, &record);
    if (!(status == 0 && record == expected) && status != kAcqNoSuchDevice) ++wrong;
    AcqValidationContext context{};
    const QelStatus found = AcqGetContext(&probe, &context);
    if (!(found == 0 && context.record == expected) && found != (kAcqNoSuchDevice | kQelModuleAcquisition)) ++wrong;
    return wrong;
  };
  const auto churn = [] {
    AcqFreeHandle(kBoard, kSlot);
    AcqAllocHandle(kBoard, kSlot);
  };
  EXPECT_EQ(WrongLookupsWhileChurning(wrongAnswers, churn, 50000), 0u);

  AcqDeviceRecord* record = nullptr;
  EXPECT_EQ(AcqGetDeviceRecord(&probe, &record), 0u);
  EXPECT_EQ(record, expected);
  AcqFreeHandle(kBoard, kSlot);
  EXPECT_EQ(AcqGetDeviceRecord(&probe, &record), kAcqNoSuchDevice);
}

// The module's end takes the handle objects out of the table while a request
// or event thread may still hold one it got before.
TEST(AcqHandleTable, AHandleHeldAcrossTheModulesEndStaysAnObjectThatNamesNoDevice) {
  constexpr std::uint32_t kHeldSlot = 11;
  ASSERT_NE(AcqAllocHandle(kBoard, kHeldSlot), nullptr);
  QelHandle* held = AcqGetHandle(kBoard, kHeldSlot);
  ASSERT_NE(held, nullptr);
  AcqFreeHandle(kBoard, kHeldSlot);
  EXPECT_EQ(AcqGetHandle(kBoard, kHeldSlot), nullptr);
  EXPECT_EQ(held->tag, kQelTagAcqDevice);
  EXPECT_EQ(held->self, reinterpret_cast<std::uint64_t>(held));
  AcqDeviceRecord* record = nullptr;
  EXPECT_EQ(AcqGetDeviceRecord(held, &record), kAcqNoSuchDevice);

  // The slot's next start serves the same object again.
  EXPECT_EQ(AcqAllocHandle(kBoard, kHeldSlot), held);
  EXPECT_EQ(AcqGetDeviceRecord(held, &record), 0u);
  AcqFreeHandle(kBoard, kHeldSlot);
}

}  // namespace
