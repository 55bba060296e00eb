#include "platform/board/control_commands.h"

#include <cstring>

#include "platform/board/board_dma.h"

namespace plat::board {

namespace {

ControlBoardEntry make_entry(int index, const Board* board) {
  ControlBoardEntry entry{};
  entry.index = index;
  if (board == nullptr) return entry;
  const std::string& model = board_config(board).model;
  std::memcpy(entry.model, model.data(), std::min(model.size(), sizeof entry.model - 1));
  const PciLocation location = board_location(board);
  const PciLocation bridge = board_bridge_location(board);
  entry.bus = location.bus;
  entry.device = location.device;
  entry.function = location.function;
  entry.present = 1;
  entry.bridge_bus = bridge.bus;
  entry.bridge_device = bridge.device;
  entry.bridge_function = bridge.function;
  return entry;
}

void list_boards(const ControlTable& table, std::vector<std::byte>* out) {
  out->resize(table.boards.size() * sizeof(ControlBoardEntry));
  for (std::size_t i = 0; i < table.boards.size(); ++i) {
    const ControlBoardEntry entry = make_entry(static_cast<int>(i), table.boards[i]);
    std::memcpy(out->data() + i * sizeof entry, &entry, sizeof entry);
  }
}

std::int32_t config_command(Board* board, const ControlRequest& request, std::uint32_t* value) {
  if (request.target != kControlTargetFunction && request.target != kControlTargetBridge)
    return kControlBadRequest;
  const bool bridge = request.target == kControlTargetBridge;
  if (request.command == kControlConfigRead) {
    *value = bridge ? bridge_config_read(board, request.offset, request.width)
                    : config_read(board, request.offset, request.width);
  } else if (bridge) {
    bridge_config_write(board, request.offset, request.width, request.value);
  } else {
    config_write(board, request.offset, request.width, request.value);
  }
  return kControlOk;
}

std::int32_t remove_board(ControlTable& table, int index, std::uint32_t* value) {
  if (table.hooks.remove_board == nullptr) return kControlRefused;
  const std::int32_t result = table.hooks.remove_board(table.hooks.context, index, table.boards[index]);
  if (result != 0) {
    *value = static_cast<std::uint32_t>(result);
    return kControlRefused;
  }
  table.boards[index] = nullptr;
  return kControlOk;
}

std::int32_t board_command(ControlTable& table, int index, const ControlRequest& request,
                           std::span<const std::byte> payload, std::uint32_t* value) {
  Board* board = table.boards[index];
  const int bar = static_cast<int>(request.target);
  switch (request.command) {
    case kControlConfigRead:
    case kControlConfigWrite: return config_command(board, request, value);
    case kControlRegisterRead: *value = bar_read32(board, bar, request.offset); return kControlOk;
    case kControlRegisterWrite: bar_write32(board, bar, request.offset, request.value); return kControlOk;
    case kControlRaiseStatus:
      return board_raise_status(board, request.offset, request.value) ? kControlOk : kControlBadRequest;
    case kControlSetVanished: board_set_vanished(board, request.value != 0); return kControlOk;
    case kControlDmaWrite:
      return board_dma_write(board, request.address, payload) ? kControlOk : kControlRefused;
    case kControlInterruptLevel: *value = board_interrupt_asserted(board) ? 1 : 0; return kControlOk;
    case kControlRemove: return remove_board(table, index, value);
    default: return kControlBadRequest;
  }
}

}  // namespace

void control_execute(ControlTable& table, const ControlRequest& request,
                     std::span<const std::byte> payload, ControlReply* reply,
                     std::vector<std::byte>* reply_payload) {
  *reply = ControlReply{};
  if (request.command == kControlList) {
    list_boards(table, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  if (request.board < 0 || static_cast<std::size_t>(request.board) >= table.boards.size()) {
    reply->status = kControlNoSuchBoard;
    return;
  }
  if (table.boards[request.board] == nullptr) {
    reply->status = kControlBoardRemoved;
    return;
  }
  reply->status = board_command(table, request.board, request, payload, &reply->value);
}

}  // namespace plat::board
