#include <cstring>
#include <string>

#include "source/QelHost/tests/host_test_support.h"

namespace {

using host_test::HostLayer;

// A message with a payload of `payload` bytes 0, 1, 2, ...
QelMessageHeader* Allocate(std::uint32_t payload) {
  QelMessageHeader* message = nullptr;
  EXPECT_EQ(HOSTALLOCMSG(36 + payload, &message), QEL_OK);
  if (message == nullptr) return nullptr;
  for (std::uint32_t index = 0; index < payload; ++index) reinterpret_cast<std::uint8_t*>(message + 1)[index] = index;
  return message;
}

TEST_F(HostLayer, MessagesAndAnswers) {
  QelMessageHeader* request = Allocate(8);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->size, 44u);
  EXPECT_EQ(request->flags, 0u);
  EXPECT_EQ(request->errorText, 0u);
  request->transaction = 0x1234;
  request->source = 0x01000000;
  request->destination = 0x01DE0100;
  request->reserved = 0x55;
  request->command = 4001;

  QelMessageHeader* answer = nullptr;
  ASSERT_EQ(HOSTALLOCANSWER(request, 40, &answer), QEL_OK);
  EXPECT_EQ(answer->size, 40u);
  EXPECT_EQ(answer->flags, kQelMsgAnswer);
  EXPECT_EQ(answer->transaction, 0x1234u);
  EXPECT_EQ(answer->source, 0x01DE0100u);
  EXPECT_EQ(answer->destination, 0x01000000u);
  EXPECT_EQ(answer->reserved, 0x55u);
  EXPECT_EQ(answer->command, 4001u);

  EXPECT_EQ(HOSTALLOCMSG(35, &request), 306u);  // shorter than its header
  EXPECT_EQ(HOSTALLOCMSG(1 << 30, &request), 0x10006Cu);
  EXPECT_EQ(request, nullptr);
  EXPECT_TRUE(Logged("QELHOST: HOSTALLOCMSG => No messaging memory (1073741824)"));
  EXPECT_EQ(HOSTALLOCANSWER(nullptr, 40, &request), 310u);
  EXPECT_EQ(HOSTFREEMSG(answer), QEL_OK);
}

TEST_F(HostLayer, ErrorTextIsAppendedOnlyToAFailedAnswerLeavingThisServer) {
  SetAddress(0x01DE0100);
  QelMessageHeader* answer = Allocate(4);
  ASSERT_NE(answer, nullptr);
  answer->flags = kQelMsgAnswer;
  answer->destination = 0x01000000;
  QelMessageHeader* result = nullptr;

  // Status 0: unchanged.
  ASSERT_EQ(HOSTAPPENDERRORTOANSWER(answer, "bad", &result), QEL_OK);
  EXPECT_EQ(result, answer);
  // To this server itself: unchanged.
  answer->command = 0x400046;
  answer->destination = 0x01DE0100;
  ASSERT_EQ(HOSTAPPENDERRORTOANSWER(answer, "bad", &result), QEL_OK);
  EXPECT_EQ(result, answer);
  // No text: unchanged.
  answer->destination = 0x01000000;
  ASSERT_EQ(HOSTAPPENDERRORTOANSWER(answer, nullptr, &result), QEL_OK);
  EXPECT_EQ(result, answer);
  EXPECT_EQ(HostAnswerErrorText(answer), nullptr);

  ASSERT_EQ(HOSTAPPENDERRORTOANSWER(answer, "Parameter out of range", &result), QEL_OK);
  ASSERT_NE(result, answer);  // the old message is freed
  EXPECT_EQ(result->size, 40u + 23);
  EXPECT_EQ(result->errorText, 40u);
  EXPECT_EQ(result->command, 0x400046u);
  EXPECT_EQ(std::memcmp(result + 1, "\x00\x01\x02\x03", 4), 0);
  ASSERT_NE(HostAnswerErrorText(result), nullptr);
  EXPECT_EQ(std::string(HostAnswerErrorText(result)), "Parameter out of range");

  // An offset outside the message, or a text running past its end, is not read.
  result->errorText = result->size;
  EXPECT_EQ(HostAnswerErrorText(result), nullptr);
  result->errorText = 20;
  EXPECT_EQ(HostAnswerErrorText(result), nullptr);
  result->errorText = 40;
  result->size = 45;  // the text's terminator now lies beyond
  EXPECT_EQ(HostAnswerErrorText(result), nullptr);
  EXPECT_EQ(HOSTFREEMSG(result), QEL_OK);
}

TEST_F(HostLayer, AnAnswerNobodyWaitsForIsFreed) {
  QelMessageHeader* answer = Allocate(0);
  ASSERT_NE(answer, nullptr);
  answer->flags = kQelMsgAnswer;
  EXPECT_EQ(HOSTSENDANSWER(answer), QEL_OK);
  // Gone from the pool: freeing it again is refused.
  EXPECT_EQ(HOSTFREEMSG(answer), 306u);
}

TEST_F(HostLayer, PortIoIsRefusedAndMemoryWrappersCheckTheirArguments) {
  std::uint32_t value = 7;
  EXPECT_EQ(HOSTREADIO(0x378, 1, &value), 73u);
  EXPECT_TRUE(Logged("QELHOST: HOSTREADIO => Hardware error (0x378 1 0x0)"));
  EXPECT_EQ(HOSTWRITEIO(0x378, 2, 1), 73u);
  EXPECT_TRUE(Logged("QELHOST: HOSTWRITEIO => Hardware error (0x378 2 1)"));
  EXPECT_EQ(HOSTREADIO(0x378, 3, &value), 562u);
  EXPECT_EQ(HOSTREADIO(0x378, 4, nullptr), 822u);
  EXPECT_EQ(HOSTWRITEIO(0x378, 8, 1), 562u);

  void* address = nullptr;
  EXPECT_EQ(HOSTMAPBUFFER(0x1000, 4096, nullptr), 822u);
  EXPECT_EQ(HOSTMAPBUFFEREX(0x1000, 4096, 0, nullptr), 822u);
  EXPECT_EQ(HOSTFREECONTIGBUFFER(nullptr), 310u);
  EXPECT_EQ(HOSTUNMAPBUFFER(nullptr), 310u);
  EXPECT_EQ(HOSTUNLOCKSGBUFFER(nullptr), 310u);
  EXPECT_EQ(HOSTVIRTUALTOPHYS(&value, nullptr), 310u);
  // Memory the library does not know has no physical address and cannot be freed.
  std::uint64_t physical = 1;
  EXPECT_EQ(HOSTVIRTUALTOPHYS(&value, &physical), 306u);
  EXPECT_EQ(physical, 0u);
  EXPECT_EQ(HOSTFREECONTIGBUFFER(&value), 306u);
  EXPECT_TRUE(Logged("QELHOST: HOSTFREECONTIGBUFFER => Invalid argument (0x"));
  EXPECT_EQ(HOSTUNMAPBUFFER(&value), 306u);
  EXPECT_TRUE(Logged("QELHOST: HOSTUNMAPBUFFER => Unable to unmap virtual memory (0x"));

  std::uint64_t count = 1;
  std::uint64_t pages[1] = {};
  qelmem::QelMemPhysHandle memory = 0;
  std::uint32_t returned = 0;
  EXPECT_EQ(HOSTALLOCPHYSMEMORY(0, 0, 0, nullptr, pages, &memory), 1074u);
  EXPECT_EQ(HOSTALLOCPHYSMEMORY(0, 0, 0, &count, nullptr, &memory), 1330u);
  EXPECT_EQ(HOSTALLOCPHYSMEMORY(0, 0, 0, &count, pages, nullptr), 1586u);
  EXPECT_EQ(HOSTFREEPHYSMEMORY(0), 306u);
  EXPECT_EQ(HOSTMAPPHYSMEMORY(0, &physical), 306u);
  EXPECT_EQ(HOSTMAPPHYSMEMORY(5, nullptr), 562u);
  EXPECT_EQ(HOSTUNMAPPHYSMEMORY(5, nullptr), 562u);
  EXPECT_EQ(HOSTGETPHYSMEMORY(0, pages, 1, &returned), 306u);
  EXPECT_EQ(HOSTGETPHYSMEMORY(5, nullptr, 1, &returned), 562u);
  EXPECT_EQ(HOSTGETPHYSMEMORY(5, pages, 0, &returned), 818u);
  EXPECT_EQ(HOSTGETPHYSMEMORY(5, pages, 1, nullptr), 1074u);
  // Without a kernel host there is no simulated memory to give.
  EXPECT_EQ(HOSTALLOCCONTIGBUFFER(4096, &physical, &address), 0x100047u);
  EXPECT_TRUE(Logged("QELHOST: HOSTALLOCCONTIGBUFFER => No contiguous memory (4096)"));
  EXPECT_EQ(HOSTALLOCCONTIGBUFFEREX(4096, 0, 0x4000000, &physical, &address), 0x100047u);
  EXPECT_TRUE(Logged("QELHOST: HOSTALLOCCONTIGBUFFEREX => No contiguous memory(4096 0x0 0x4000000)"));
  EXPECT_EQ(HOSTALLOCPHYSMEMORY(0, 0, 0, &count, pages, &memory), 0x100047u);
  EXPECT_EQ(HOSTMAPBUFFER(0x1000, 4096, &address), 0x100047u);
  EXPECT_TRUE(Logged("QELHOST: HOSTMAPBUFFER => Unable to map physical memory (0x1000 4096)"));
}

}  // namespace
