#include "driver/kernel/tests/MsgFakeBoard.h"

#include "driver/kernel/ResourceManager.h"

namespace {
MsgFakeBoard* g_fake = nullptr;
}

MsgFakeBoard::MsgFakeBoard()
    : board(std::make_unique<YatBoardExtension>()),
      routing(std::make_unique<YatEventRouting>()),
      queues(std::make_unique<YatMsgQueueRow[]>(kYatProcessSlots)) {
  board->boardSlot = 3;
  YatInitEventRouting(routing.get());
  InitMsgQueueTable(queues.get(), kYatProcessSlots);
  g_fake = this;
}

MsgFakeBoard::~MsgFakeBoard() {
  FreeMsgQueueTable(queues.get(), kYatProcessSlots);
  g_fake = nullptr;
}

YatEventRouting* YatBoardRouting(YatBoardExtension*) { return g_fake->routing.get(); }
YatManagerExtension* YatBoardManager(YatBoardExtension*) {
  static YatManagerExtension* manager = new YatManagerExtension{};
  return manager;
}
YatMsgQueue* YatProcessQueue(YatManagerExtension*, std::uint32_t row, std::uint32_t type) {
  return row < kYatProcessSlots && type < YAT_MSG_QUEUE_COUNT ? g_fake->Queue(row, type) : nullptr;
}
std::uint64_t YatStatusTimeStamp(YatBoardExtension*, std::uint32_t bit) { return g_fake->stamps[bit - 25]; }
std::uint32_t YatEventChannelOf(YatBoardExtension*, std::uint32_t event) {
  return (g_fake->secondChannelEvents & (1u << (event - 256))) != 0 ? 1 : 0;
}
QelHwStatus YatAcqPixelClockEvent(YatBoardExtension*, std::uint32_t channel, std::uint32_t flags) {
  g_fake->acqActions.emplace_back(channel, flags);
  return QELHW_OK;
}
QelHwStatus SetInterruptMask(YatBoardExtension*, std::uint32_t value, std::uint32_t mask) {
  g_fake->interruptMask = (g_fake->interruptMask & ~mask) | (value & mask);
  return QELHW_OK;
}

QelHwStatus Yat_WriteReg(YatBoardExtension*, std::uint32_t offset, std::uint32_t value) {
  if (g_fake->failing.count(offset)) return QELHW_ERROR_RESOURCE_RANGE;
  g_fake->registers[offset] = value;
  g_fake->writes.emplace_back(offset, value);
  return QELHW_OK;
}
QelHwStatus Yat_ReadReg(YatBoardExtension*, std::uint32_t offset, std::uint32_t* value) {
  if (g_fake->failing.count(offset)) return QELHW_ERROR_RESOURCE_RANGE;
  *value = g_fake->registers[offset];
  return QELHW_OK;
}
QelHwStatus Yat_SetBitsReg(YatBoardExtension*, std::uint32_t offset, std::uint32_t value, std::uint32_t mask) {
  if (g_fake->failing.count(offset)) return QELHW_ERROR_RESOURCE_RANGE;
  std::uint32_t& word = g_fake->registers[offset];
  word = (word & ~mask) | (value & mask);
  return QELHW_OK;
}
QelHwStatus Yat_ReadCacheDwords(YatBoardExtension*, std::uint32_t offset, std::uint32_t* words, std::uint32_t count) {
  if (g_fake->failing.count(offset) || count > 8) return QELHW_ERROR_RESOURCE_RANGE;
  for (std::uint32_t i = 0; i < count; ++i) words[i] = g_fake->hostMessage[i];
  return QELHW_OK;
}
