// The transfer manager within one process: pairs and their groups, the
// parameters and capabilities of a group, callbacks, the states a transfer
// must be in, and a failed add that leaves the object as it was. Handles of
// sources and destinations are made up here as their modules would make them
// (the road tests use the modules' own).
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/testing/machine_fixture.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferShared.h"
#include "source/QelXfer/XferStatus.h"

namespace {

constexpr std::uint32_t kBoardServer = 0x01DE0100;  // board 0's server
constexpr std::uint32_t kLocalServer = 0x00DE0000;  // the process's own server (host memory)

QelHandle Handle(std::uint32_t server, std::uint32_t tag, std::uint64_t record) {
  QelHandle handle{};
  handle.server = server;
  handle.tag = tag;
  handle.record = record;
  return handle;
}

class XferManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    XferClearShared(XferGetShared());
    ASSERT_EQ(XferNewShort(&server_, &acq_, &host1_, nullptr, &xfer_), QEL_OK);
  }
  void TearDown() override {
    if (xfer_ != nullptr) {
      EXPECT_EQ(XferRelease(xfer_), QEL_OK);
    }
  }

  XferRecord& Record() { return *XferObjectOf(xfer_)->record; }

  std::uint32_t Cap(std::uint32_t id) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(XferGetCap(xfer_, id, &value), QEL_OK) << std::hex << id;
    return value;
  }

  plat::testing::ScopedMachine machine_;
  QelHandle server_ = Handle(kBoardServer, kQelTagServer, 0);
  QelHandle acq_ = Handle(0x100, kQelTagAcqDevice, 0x1000);
  QelHandle host1_ = Handle(kLocalServer, kQelTagBuffer, 0x2000);
  QelHandle host2_ = Handle(kLocalServer, kQelTagBuffer, 0x3000);
  QelHandle hostOtherServer_ = Handle(0x01000000, kQelTagBuffer, 0x4000);
  QelHandle onboard_ = Handle(kBoardServer, kQelTagBuffer, 0x5000);
  QelHandle* xfer_ = nullptr;
};

TEST_F(XferManagerTest, PairsGroupByDestinationKindAndABufferJoinsOnlyForTheSameServer) {
  EXPECT_EQ(XferAddPairShort(xfer_, &acq_, &host2_, nullptr), QEL_OK);
  EXPECT_EQ(XferAddPairShort(xfer_, &acq_, &onboard_, nullptr), QEL_OK);
  // A host buffer of another server has the host kind but may not join the host group.
  EXPECT_EQ(XferAddPairShort(xfer_, &acq_, &hostOtherServer_, nullptr), kXferNotCompatible);
  const XferRecord& record = Record();
  ASSERT_EQ(record.sourceCount, 1u);
  const XferSource& source = *record.sources;
  EXPECT_EQ(source.kind, 0u);
  ASSERT_EQ(source.groupCount, 2u);
  EXPECT_EQ(source.groups->pairCount, 2u);
  EXPECT_EQ(source.groups->first->kind, 0u);
  EXPECT_EQ(source.groups->next->pairCount, 1u);
  EXPECT_EQ(source.groups->next->first->kind, 1u);
  // Host-buffer groups stay out of their kind's count; the on-board group counts.
  EXPECT_EQ(record.pairKindCount[0], 0u);
  EXPECT_EQ(record.pairKindCount[1], 1u);
  EXPECT_EQ(record.sourceKindCount[0], 2u);
  EXPECT_EQ(record.kindUsed[0][0], 1u);
  EXPECT_EQ(record.kindUsed[0][1], 1u);
}

TEST_F(XferManagerTest, RefusedPairsLeaveTheObjectAsItWas) {
  const QelHandle pixpro = Handle(kBoardServer, kQelTagPixelProcessor, 0x6000);
  const QelHandle foreign = Handle(0x01DE0300, kQelTagBuffer, 0x7000);
  struct Case {
    QelHandle source;
    QelHandle destination;
    QelStatus status;
  };
  const Case cases[] = {
      {host1_, host2_, kXferKindNotSupported},   // host buffer to host buffer: not served
      {host1_, onboard_, kXferKindNotSupported},
      {acq_, foreign, kXferKindNotValid},        // a buffer of another board's server
      {pixpro, pixpro, kXferKindNotValid},       // a pixel processor behind a pixel processor
      {Handle(0, 0, 0), host2_, XferStatus(2, 0x32)},
      {acq_, Handle(0, 0, 0), XferStatus(3, 0x32)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XferAddPairShort(xfer_, &c.source, &c.destination, nullptr), c.status);
    const XferRecord& record = Record();
    EXPECT_EQ(record.sourceCount, 1u);
    EXPECT_EQ(record.sources->groupCount, 1u);
    EXPECT_EQ(record.sources->groups->pairCount, 1u);
    EXPECT_EQ(record.currentPair, record.sources->groups->first);
    EXPECT_EQ(record.sourceKindCount[0], 1u);
    EXPECT_EQ(record.kindUsed[3][0] + record.kindUsed[3][1] + record.kindUsed[2][2], 0u);
  }
}

TEST_F(XferManagerTest, ANewGroupStartsWithTheBoardsCapabilitiesAndValues) {
  const std::tuple<std::uint32_t, std::uint32_t> caps[] = {
      {0x10004, 0x7880000}, {0x1C0004, 0x80000}, {0x1D0004, 0xFFFFFF00}, {0x200004, 2},   {0x210004, 2},
      {0x220004, 3},        {0x230004, 65535},   {0x250004, 1},          {0x260004, 107}, {0x270004, 0x7FFFFFFF},
      {0x280004, 45},       {0x290004, 1},       {0x2C0004, 1},          {0x300004, 1},   {0x310004, 0x1880000},
      {0x320004, 19},       {0x330004, 0x880000}, {0x340004, 2},         {0x20004, 0},    {0x60004, 0}};
  for (const auto& [id, value] : caps) EXPECT_EQ(Cap(id), value) << std::hex << id;
  const std::tuple<std::uint32_t, std::uint32_t> prms[] = {
      {0xE0004, 0}, {0x180004, 1}, {0x190004, 1}, {0x160004, 1}, {0x1A0004, 1}, {0x140004, 1}, {0xC0004, 0},
      {0xD0004, 4000}};
  for (const auto& [id, value] : prms) {
    std::uint32_t read = 0xDEADBEEF;
    EXPECT_EQ(XferGetPrm(xfer_, id, &read), QEL_OK) << std::hex << id;
    EXPECT_EQ(read, value) << std::hex << id;
  }
  // An on-board destination's group: no host-only values.
  ASSERT_EQ(XferAddPairShort(xfer_, &acq_, &onboard_, nullptr), QEL_OK);
  EXPECT_EQ(Cap(0x1D0004), 0u);
  EXPECT_EQ(Cap(0x200004), 0u);
  std::uint32_t value = 0;
  EXPECT_EQ(XferGetCap(xfer_, 0x350004, &value), 0x4C0351Eu);
  EXPECT_EQ(XferGetCap(xfer_, 0x10008, &value), 0x4C0011Eu);
}

TEST_F(XferManagerTest, ParametersFollowTheirRules) {
  struct Case {
    std::uint32_t id;
    std::uint32_t value;
    QelStatus status;
  };
  const Case cases[] = {
      {0x10004, 0, 0x4C0012C},   {0x50004, 0, 0x4C00529},    {0xA0004, 0, 0x4C00A2C},   {0xF0008, 0, 0x4C00F2C},
      {0xC0004, 3, QEL_OK},      {0xC0004, 4, 0x4C00C2B},    {0xD0004, 1234, QEL_OK},   {0xE0004, 6, 0x4C00E2B},
      {0xE0004, 1, 0x4C00E2B},   {0xE0004, 5, QEL_OK},       {0x120004, 1, 0x4C0122B},  {0x120004, 2, QEL_OK},      {0x130004, 1, QEL_OK},
      {0x140004, 4, 0x4C0142B},  {0x140004, 2, QEL_OK},      {0x150004, 1, 0x4C01529},  {0x160004, 16, 0x4C0162B},
      {0x160004, 8, QEL_OK},     {0x170004, 7, QEL_OK},      {0x180004, 2, 0x4C01829},  {0x190004, 1, QEL_OK},
      {0x1A0004, 2, 0x4C01A29},  {0x1B0004, 0, QEL_OK},      {0x1B0004, 0x2, 0x4C01B29}, {0x1C0004, 9, 0x4C01C29},
      {0x1D0004, 1, 0x4C01D29},  {0x1E0004, 3, 0x4C01E2B},   {0x1F0004, 1, 0x4C01E2B},  {0x1E0004, 1, QEL_OK},
      {0x1F0004, 1, 0x4C01F2B},  {0x1F0004, 0x80000, QEL_OK}, {0x200004, 2, QEL_OK},    {0x200004, 4, 0x4C02029},
      {0x210004, 0, 0x4C02128},  {0x120008, 0, 0x4C01228},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XferSetPrm(xfer_, c.id, &c.value), c.status) << std::hex << c.id << " = " << c.value;
    if (c.status != QEL_OK) continue;
    std::uint64_t read = 0;
    EXPECT_EQ(XferGetPrm(xfer_, c.id, &read), QEL_OK) << std::hex << c.id;
    EXPECT_EQ(read, c.value) << std::hex << c.id;
  }
  // The status word is the status of a read of parameter 1.
  std::uint32_t word = 0;
  EXPECT_EQ(XferGetPrm(xfer_, 0x10004, &word), QEL_OK);
}

TEST_F(XferManagerTest, ACallbackIsRegisteredOnceAndOnlyForEventsTheGroupSupports) {
  const QelHandle callbackServer = Handle(kLocalServer, kQelTagServer, 0);
  EXPECT_EQ(XferRegisterCallback(xfer_, 0x100000, 1, 2, &callbackServer), kXferEventNotSupported);
  EXPECT_EQ(XferRegisterCallback(xfer_, 0x2000000, 1, 2, &callbackServer), XferStatus(2, 0x32));
  EXPECT_EQ(XferRegisterCallback(xfer_, 0x3000001, 1, 2, &callbackServer), XferStatus(10, 0x2D));
  EXPECT_EQ(XferRegisterCallback(xfer_, 0x800000, 0x1234, 0x5678, &callbackServer), QEL_OK);
  EXPECT_EQ(XferRegisterCallback(xfer_, 0x800000, 0x1234, 0x5678, &callbackServer), kXferInUse);
  std::uint64_t value = 0;
  EXPECT_EQ(XferGetPrm(xfer_, 0x100008, &value), QEL_OK);
  EXPECT_EQ(value, 0x1234u);
  EXPECT_EQ(XferGetPrm(xfer_, 0xF0008, &value), QEL_OK);  // the server handle's first eight bytes
  EXPECT_EQ(value, kLocalServer);
  EXPECT_EQ(XferUnregisterCallback(xfer_, 0x9999), XferStatus(2, 0x35));
  EXPECT_EQ(XferUnregisterCallback(xfer_, 0x1234), QEL_OK);
  EXPECT_EQ(XferRegisterCallback(xfer_, 0x800000, 0x1234, 0x5678, &callbackServer), QEL_OK);
}

TEST_F(XferManagerTest, ConnectWithoutPairsAndRunsOfAnUnconnectedTransferAreRefused) {
  EXPECT_EQ(XferStop(xfer_), kXferNotConnected);
  EXPECT_EQ(XferAbort(xfer_), kXferNotConnected);
  EXPECT_EQ(XferStart(xfer_, 3), kXferNotConnected);
  EXPECT_EQ(XferWait(xfer_, 10), kXferNotConnected);
  EXPECT_EQ(XferDisconnect(xfer_), QEL_OK);
  EXPECT_EQ(XferReset(xfer_), QEL_OK);
  EXPECT_EQ(Record().sources, nullptr);
  EXPECT_EQ(XferConnect(xfer_), kXferNoPair);
  std::uint32_t timeout = 0;
  EXPECT_EQ(XferGetPrm(xfer_, 0xD0004, &timeout), QEL_OK);
  EXPECT_EQ(timeout, 4000u);
  EXPECT_EQ(XferGetPrm(xfer_, 0xE0004, &timeout), 0x4C00E29u);  // no group any more
}

TEST_F(XferManagerTest, OnlyHandlesOfLiveTransfersOfThisProcessAreServed) {
  QelHandle copy = *xfer_;
  QelHandle stale = copy;
  stale.record += 8;
  std::uint32_t value = 0;
  EXPECT_EQ(XferGetPrm(&stale, 0xD0004, &value), kXferBadHandle);
  EXPECT_EQ(XferConnect(&stale), kXferBadHandle);
  EXPECT_EQ(XferGetPrm(&copy, 0xD0004, &value), QEL_OK);  // a copy names the same object
  EXPECT_EQ(XferRelease(xfer_), QEL_OK);
  xfer_ = nullptr;
  EXPECT_EQ(XferGetPrm(&copy, 0xD0004, &value), kXferBadHandle);
  EXPECT_EQ(XferRelease(&copy), kXferBadHandle);
}

TEST_F(XferManagerTest, AddDestinationChoosesAPairByOrdinal) {
  ASSERT_EQ(XferAddPairShort(xfer_, &acq_, &host2_, nullptr), QEL_OK);
  ASSERT_EQ(XferAddPairShort(xfer_, &acq_, &host1_, nullptr), QEL_OK);
  EXPECT_EQ(XferAddDestinationLocked(xfer_, &onboard_, &host1_, 0), XferStatus(2, 0x35));
  EXPECT_EQ(XferAddDestinationLocked(xfer_, &acq_, &onboard_, 0), XferStatus(3, 0x35));
  EXPECT_EQ(XferAddDestinationLocked(xfer_, &acq_, &host1_, 2), XferStatus(4, 0x35));
  // The board answers "not supported" for an unconnected chain's destination, after the choice.
  XferAddDestinationLocked(xfer_, &acq_, &host1_, 1);
  const XferRecord& record = Record();
  EXPECT_EQ(record.currentPair, record.sources->groups->last);
  EXPECT_EQ(record.sources->groups->currentPair, record.currentPair);
}

}  // namespace
