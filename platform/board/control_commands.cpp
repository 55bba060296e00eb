#include "platform/board/control_commands.h"

#include <cstring>

#include "platform/board/board_dma.h"
#include "platform/board/board_i2c.h"

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

std::int32_t eeprom_command(Board* board, const ControlRequest& request, std::span<const std::byte> payload,
                            std::vector<std::byte>* out) {
  if (request.offset > 0xFF) return kControlBadRequest;
  const auto address = static_cast<std::uint8_t>(request.offset);
  bool known = false;
  switch (request.command) {
    case kControlEepromPeek: {
      EepromImage image{};
      known = board_eeprom_peek(board, address, &image);
      if (known) out->assign(reinterpret_cast<const std::byte*>(image.data()),
                             reinterpret_cast<const std::byte*>(image.data()) + image.size());
      break;
    }
    case kControlEepromProgram:
      known = board_eeprom_program(board, address,
                                   std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
      break;
    case kControlEepromFitted: known = board_eeprom_set_present(board, address, request.value != 0); break;
    case kControlEepromNoAck: known = board_eeprom_set_no_acknowledge(board, address, request.value != 0); break;
    default: break;
  }
  return known ? kControlOk : kControlBadRequest;
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
    case kControlSetVanished:
      if (request.value > static_cast<std::uint32_t>(VanishMode::kVanishedLineHeld)) return kControlBadRequest;
      board_set_vanish_mode(board, static_cast<VanishMode>(request.value));
      return kControlOk;
    case kControlSetInputs:
      return board_set_register_inputs(board, request.offset, request.value) ? kControlOk : kControlBadRequest;
    case kControlPeekRegister:
      return board_peek_register(board, request.offset, value) ? kControlOk : kControlBadRequest;
    case kControlPeekProcessing:
      return board_peek_processing(board, request.target, request.offset, request.width == 1, value)
                 ? kControlOk
                 : kControlBadRequest;
    case kControlDmaWrite:
      return board_dma_write(board, request.address, payload) ? kControlOk : kControlRefused;
    case kControlInterruptLevel: *value = board_interrupt_asserted(board) ? 1 : 0; return kControlOk;
    case kControlRemove: return remove_board(table, index, value);
    case kControlI2cHoldClock: board_i2c_hold_clock(board, request.value != 0); return kControlOk;
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
  if (request.command >= kControlEepromPeek && request.command <= kControlEepromNoAck) {
    reply->status = eeprom_command(table.boards[request.board], request, payload, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  reply->status = board_command(table, request.board, request, payload, &reply->value);
}

}  // namespace plat::board
