// The process's monitor handle objects are looked up by request and event
// threads while the module's start and end add and remove them: a lookup
// finds the slot or answers 32769, and a handle a caller still holds stays a
// handle object that names nothing.
#include <gtest/gtest.h>

#include "source/QelAcq/acqmonitor.h"
#include "source/QelAcq/acqmonitor_threads.h"
#include "source/QelAcq/tests/acq_lookup_race.h"

namespace {

constexpr std::uint32_t kBoard = 15, kDevice = 12;

// No slot of this process's test is owned, so the end releases nothing.
class AcqMonitorHandles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(AcqMonitorInitHandles(), 0u); }
  void TearDown() override { AcqMonitorFreeHandles(); }
};

TEST_F(AcqMonitorHandles, AHandleHeldAcrossTheModulesEndStaysAnObjectThatNamesNothing) {
  QelHandle* held = AcqMonitorHandleOf(kBoard, kDevice);
  ASSERT_NE(held, nullptr);
  std::uint32_t board = 0, device = 0;
  ASSERT_EQ(AcqMonitorFindHandle(held, &board, &device), 0u);
  EXPECT_EQ(board, kBoard);
  EXPECT_EQ(device, kDevice);

  AcqMonitorFreeHandles();
  EXPECT_EQ(AcqMonitorHandleOf(kBoard, kDevice), nullptr);
  EXPECT_EQ(held->tag, kQelTagAcqDevice);
  EXPECT_EQ(held->self, reinterpret_cast<std::uint64_t>(held));
  EXPECT_EQ(AcqMonitorHandleAt(held->self), nullptr);
  EXPECT_EQ(AcqMonitorFindHandle(held, &board, &device), kAcqMonitorNoHandle);
  EXPECT_EQ(AcqMonitorGetAcqHandle(held), nullptr);

  // The slot's next start serves the same object again.
  ASSERT_EQ(AcqMonitorInitHandles(), 0u);
  EXPECT_EQ(AcqMonitorHandleOf(kBoard, kDevice), held);
  EXPECT_EQ(AcqMonitorFindHandle(held, &board, &device), 0u);
}

TEST_F(AcqMonitorHandles, LookupsWhileHandlesComeAndGoFindTheSlotOrNothing) {
  // A request thread that got the handle just before the module's end.
  const auto wrongAnswers = [] {
    QelHandle* const late = AcqMonitorHandleOf(kBoard, kDevice);
    if (late == nullptr) return 0u;
    std::uint32_t wrong = 0, board = 0, device = 0;
    const QelStatus status = AcqMonitorFindHandle(late, &board, &device);
    if (!(status == 0 && board == kBoard && device == kDevice) && status != kAcqMonitorNoHandle) ++wrong;
    if (late->tag != kQelTagAcqDevice) ++wrong;
    return wrong;
  };
  const auto churn = [] {
    AcqMonitorFreeHandles();
    AcqMonitorInitHandles();
  };
  EXPECT_EQ(WrongLookupsWhileChurning(wrongAnswers, churn, 50000), 0u);
}

}  // namespace
