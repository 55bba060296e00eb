// Object handles: the address plan's predicates, the tags, handles that are
// not readable, and records used only once found among this process's live
// records; event-information objects and the remote function call with them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win/address_space.h"
#include "source/QelAPI/QelApi.h"
#include "source/firmware/ManServer.h"

namespace {

QelHandle Handle(std::uint32_t server, std::uint32_t tag, std::uint64_t record = 0) {
  QelHandle handle{};
  handle.server = server;
  handle.tag = tag;
  handle.record = record;
  return handle;
}

TEST(Handles, TheAddressPlanIsPinned) {
  const QelHandle host = Handle(0x01000000, kQelTagServer);
  const QelHandle notHost = Handle(0x01000001, kQelTagServer);
  EXPECT_TRUE(HandleIsHostServer(&host));
  EXPECT_FALSE(HandleIsHostServer(&notHost));
  // Board b's server, 0x01DE0000 | ((b + 1) << 8): IsHandleValid gives b + 1.
  const QelHandle board2 = Handle(0x01DE0200, kQelTagServer);
  std::uint32_t index = 0;
  EXPECT_EQ(IsHandleValid(&board2, &index), QEL_OK);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(HandleBoardIndex(&board2), -1);  // byte 0 minus 1: no module takes the board from it
  const QelHandle byte0 = Handle(0x00000003, kQelTagServer);
  EXPECT_EQ(HandleBoardIndex(&byte0), 2);
  EXPECT_EQ(IsHandleValid(&board2, nullptr), 0x3000236u);
  EXPECT_EQ(IsHandleValid(nullptr, &index), 0x3000001u);
}

TEST(Handles, AHandleThatCannotBeReadIsInvalid) {
  void* unmapped = plat::reserve_address_space(4096);
  ASSERT_NE(unmapped, nullptr);
  std::uint32_t index = 7;
  EXPECT_EQ(IsHandleValid(static_cast<const QelHandle*>(unmapped), &index), 0x3000001u);
  EXPECT_EQ(index, 7u);
  const QelHandle good = Handle(0x01DE0100, kQelTagBuffer);
  EXPECT_FALSE(HandleIsSameObject(&good, static_cast<const QelHandle*>(unmapped)));
  EXPECT_FALSE(HandleIsSameServer(static_cast<const QelHandle*>(unmapped), &good));
  EXPECT_EQ(HandleRecordOf(static_cast<const QelHandle*>(unmapped), kQelTagBuffer), nullptr);
  plat::release_address_space(unmapped);
}

TEST(Handles, TagsAndServerClasses) {
  struct Case {
    std::uint32_t tag;
    bool buffer, server, pixpro, other, secondary, acqSource;
  };
  for (const Case& c : {Case{kQelTagBuffer, true, false, false, false, false, false},
                        Case{kQelTagServer, false, true, false, false, false, false},
                        Case{kQelTagPixelProcessor, false, false, true, false, false, false},
                        Case{kQelTagOtherXferSource, false, false, false, true, false, false},
                        Case{kQelTagSecondaryAcq, false, false, false, false, true, true},
                        Case{kQelTagAcqDevice, false, false, false, false, false, true},
                        Case{kQelTagAcqSourceB, false, false, false, false, false, true},
                        Case{kQelTagLut, false, false, false, false, false, false}}) {
    const QelHandle h = Handle(0x01DE0100, c.tag);
    EXPECT_EQ(HandleIsBuffer(&h), c.buffer) << std::hex << c.tag;
    EXPECT_EQ(HandleIsServer(&h), c.server) << std::hex << c.tag;
    EXPECT_EQ(HandleIsPixPro(&h), c.pixpro) << std::hex << c.tag;
    EXPECT_EQ(HandleIsOtherXferSource(&h), c.other) << std::hex << c.tag;
    EXPECT_EQ(HandleIsSecondaryAcq(&h), c.secondary) << std::hex << c.tag;
    EXPECT_EQ(HandleIsAcqSource(&h), c.acqSource) << std::hex << c.tag;
  }
  const QelHandle hostBuffer = Handle(0x01000000, kQelTagBuffer);
  const QelHandle f8Buffer = Handle(0x00F80100, kQelTagBuffer);
  const QelHandle f5Buffer = Handle(0x00F50100, kQelTagBuffer);
  const QelHandle boardBuffer = Handle(0x01DE0100, kQelTagBuffer);
  EXPECT_TRUE(HandleIsHostBuffer(&hostBuffer));
  EXPECT_TRUE(HandleIsSystemBuffer(&hostBuffer));
  EXPECT_TRUE(HandleIsF8Buffer(&f8Buffer));
  EXPECT_TRUE(HandleIsSystemBuffer(&f8Buffer));
  EXPECT_TRUE(HandleIsF5Buffer(&f5Buffer));
  EXPECT_FALSE(HandleIsSystemBuffer(&boardBuffer));
  EXPECT_TRUE(HandleIsServerClass(&boardBuffer, 0xDE));
  EXPECT_FALSE(HandleIsServerClass(nullptr, 0));
  const QelHandle server = Handle(0x01DE0100, kQelTagServer);
  EXPECT_TRUE(HandleIsBufferOnServer(&server, &boardBuffer));
  EXPECT_FALSE(HandleIsBufferOnServer(&server, &hostBuffer));
  // Byte 2 of 0 is on every board.
  const QelHandle anyBoard = Handle(0x01000100, kQelTagBuffer);
  EXPECT_TRUE(HandleIsOnLocalBoard(&anyBoard));
  EXPECT_FALSE(HandleIsRemoteServer(&server));
  EXPECT_FALSE(HandleIsRemoteBuffer(&boardBuffer));
  EXPECT_FALSE(HandleIsLocal(nullptr));
}

TEST(Handles, AHandleWithoutTagIsNeverTheSameAsAnything) {
  const QelHandle a = Handle(0x01DE0100, 0);
  const QelHandle b = Handle(0x01DE0100, 0);
  const QelHandle tagged = Handle(0x01DE0100, kQelTagLut, 5);
  const QelHandle copy = tagged;
  EXPECT_FALSE(HandleIsSameObject(&a, &b));
  EXPECT_FALSE(HandleIsSameServer(&a, &tagged));
  EXPECT_TRUE(HandleIsSameObject(&tagged, &copy));
  EXPECT_TRUE(HandleIsSameServerAndTag(&a, &b));  // no readability test, no tag test
}

TEST(Handles, AForgedHandleNamesNoLiveRecordAndIsNeverDereferenced) {
  int record = 0;
  HandleRegistryAdd(kQelTagLut, &record);
  const QelHandle real = Handle(0x01DE0100, kQelTagLut, reinterpret_cast<std::uint64_t>(&record));
  EXPECT_EQ(HandleRecordOf(&real, kQelTagLut), &record);
  EXPECT_EQ(HandleRecordOf(&real, kQelTagBuffer), nullptr);  // another tag
  const QelHandle forged = Handle(0x01DE0100, kQelTagLut, 0xDEAD0000);
  EXPECT_EQ(HandleRecordOf(&forged, kQelTagLut), nullptr);
  HandleRegistryRemove(kQelTagLut, &record);
  EXPECT_EQ(HandleRecordOf(&real, kQelTagLut), nullptr);
  // An event-information handle made up by a client is refused as invalid.
  QelHandle madeUp = Handle(0x01DE0100, kQelTagEventInfo, 0x10);
  EXPECT_EQ(QelEventInfoFree(&madeUp), 0x10B01u);
  std::uint32_t value = 0;
  EXPECT_EQ(QelEventInfoGetPrm(&madeUp, 0x10004, &value), 0x8002001u);
}

QelEventDescriptor Descriptor(std::uint32_t count, std::uint32_t flag) {
  QelEventDescriptor descriptor{};
  descriptor.word0 = 11;
  descriptor.count = count;
  descriptor.flag = flag;
  descriptor.value1 = 0x1111222233334444ull;
  descriptor.value2 = 0x5555666677778888ull;
  for (std::uint32_t i = 0; i < 9; ++i) descriptor.words[i] = 100 + i;
  descriptor.words[8] = 4;  // data size
  return descriptor;
}

TEST(EventInfo, ObjectsCarryTheEventTheDescriptorAndTheData) {
  const QelEventDescriptor descriptor = Descriptor(0, 0);
  const std::uint32_t data = 0xCAFE;
  QelHandle* handle = nullptr;
  EXPECT_EQ(QelEventInfoNew(nullptr, 3, nullptr, &data, &handle), 54u);
  EXPECT_EQ(QelEventInfoNew(nullptr, 3, &descriptor, &data, nullptr), 54u);
  const QelHandle server = Handle(0x01DE0200, kQelTagServer);
  ASSERT_EQ(QelEventInfoNew(&server, 3, &descriptor, &data, &handle), QEL_OK);
  EXPECT_EQ(handle->tag, kQelTagEventInfo);
  EXPECT_EQ(handle->server, 0x01DE0200u);
  std::uint32_t word = 0;
  std::uint64_t quad = 0;
  ASSERT_EQ(QelEventInfoGetPrm(handle, 0x10004, &word), QEL_OK);
  EXPECT_EQ(word, 3u);
  ASSERT_EQ(QelEventInfoGetPrm(handle, 0x4, &word), QEL_OK);
  EXPECT_EQ(word, 11u);
  ASSERT_EQ(QelEventInfoGetPrm(handle, 0x30008, &quad), QEL_OK);
  EXPECT_EQ(quad, 0x1111222233334444ull);
  ASSERT_EQ(QelEventInfoGetPrm(handle, 0x40008, &quad), QEL_OK);
  EXPECT_EQ(quad, 0x5555666677778888ull);
  ASSERT_EQ(QelEventInfoGetPrm(handle, 0x50004, &word), QEL_OK);
  EXPECT_EQ(word, 100u);
  ASSERT_EQ(QelEventInfoGetPrm(handle, 0x90008, &quad), QEL_OK);
  EXPECT_EQ(quad, reinterpret_cast<std::uint64_t>(&data));
  EXPECT_EQ(QelEventInfoGetPrm(handle, 0xB0004, &word), 0x8000B28u);
  EXPECT_EQ(QelEventInfoFree(handle), QEL_OK);
}

// What the event function saw: the type of each object it was given.
std::vector<std::uint32_t> g_types;
std::uint32_t g_stopAt = 0xFFFFFFFF;

std::uint32_t EventFunction(std::uint64_t context, QelHandle* info) {
  std::uint32_t type = 0;
  QelEventInfoGetPrm(info, 0x10004, &type);
  g_types.push_back(type + static_cast<std::uint32_t>(context));
  return type == g_stopAt ? 9 : 0;
}

TEST(EventInfo, TheRemoteCallRunsTheFunctionOncePerEntryOrOnceWithType0) {
  const std::uint32_t entries[3] = {4, 5, 6};
  const std::uint32_t data = 1;
  const auto function = reinterpret_cast<std::uint64_t>(&EventFunction);
  QelEventDescriptor descriptor = Descriptor(3, 0);
  g_types.clear();
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, function, 1000, 0, &descriptor, entries, &data), QEL_OK);
  EXPECT_EQ(g_types, (std::vector<std::uint32_t>{1004, 1005, 1006}));
  // A non-zero result ends the walk and is the result.
  g_types.clear();
  g_stopAt = 5;
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, function, 0, 0, &descriptor, entries, &data), 9u);
  EXPECT_EQ(g_types, (std::vector<std::uint32_t>{4, 5}));
  g_stopAt = 0xFFFFFFFF;
  // With the flag set, one call with event type 0.
  g_types.clear();
  descriptor.flag = 1;
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, function, 0, 0, &descriptor, entries, &data), QEL_OK);
  EXPECT_EQ(g_types, (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, 0, 0, 0, &descriptor, entries, &data), 0x3000136u);
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, function, 0, 0, nullptr, entries, &data), 0x3000436u);
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, function, 0, 0, &descriptor, nullptr, &data), 0x3000536u);
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, function, 0, 0, &descriptor, entries, nullptr), 0x3000636u);
  // An address in no module's code is never called.
  static std::uint32_t notCode = 0;
  EXPECT_EQ(ManCallFunctionEx(0x01DE0100, reinterpret_cast<std::uint64_t>(&notCode), 0, 0, &descriptor, entries,
                              &data),
            0x300004Cu);
}

}  // namespace
