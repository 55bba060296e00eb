#include "platform/board/control_commands.h"

#include <array>
#include <cstring>

#include "platform/board/board_activity.h"
#include "platform/board/board_dma.h"
#include "platform/board/board_flash.h"
#include "platform/board/board_front_end.h"
#include "platform/board/board_i2c.h"
#include "platform/board/board_uart.h"
#include "platform/board/camera_uart.h"
#include "platform/board/dma_frames.h"
#include "platform/board/grab_control.h"
#include "platform/board/gpio_block.h"
#include "platform/board/host_messages.h"

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

// A full FIFO refuses the message.
std::int32_t post_host_message(Board* board, std::span<const std::byte> payload) {
  std::uint32_t words[kHostMessageWords] = {};
  if (payload.size() != sizeof words) return kControlBadRequest;
  std::memcpy(words, payload.data(), sizeof words);
  return board_post_host_message(board, words) ? kControlOk : kControlRefused;
}

// Frames larger than the control interface's payload are refused as well.
std::int32_t inject_frame(Board* board, std::span<const std::byte> payload, std::uint32_t* value) {
  ControlFrame record{};
  if (payload.size() != sizeof record) return kControlBadRequest;
  std::memcpy(&record, payload.data(), sizeof record);
  if (record.width == 0 || record.height == 0 || record.bytes_per_pixel == 0 || record.bytes_per_pixel > 8 ||
      std::uint64_t{record.width} * record.height * record.bytes_per_pixel > (std::uint64_t{1} << 28))
    return kControlBadRequest;
  *value = board_inject_frame(board, CameraFrame{record.channel, record.width, record.height, record.bytes_per_pixel,
                                                 record.number});
  return kControlOk;
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

std::int32_t flash_command(Board* board, const ControlRequest& request, std::span<const std::byte> payload,
                           std::uint32_t* value, std::vector<std::byte>* out) {
  bool known = true;
  switch (request.command) {
    case kControlFlashPeek: {
      std::vector<std::uint8_t> bytes;
      known = request.width <= kControlMaxPayload && board_flash_peek(board, request.offset, request.width, &bytes);
      if (known) out->assign(reinterpret_cast<const std::byte*>(bytes.data()),
                             reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size());
      break;
    }
    case kControlFlashProgram:
      known = board_flash_program(board, request.offset,
                                  std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
      break;
    case kControlFlashScheme: known = board_flash_set_protection_scheme(board, request.value); break;
    case kControlFlashState: {
      std::array<std::uint8_t, 64> protection{};
      *value = board_flash_state(board, &protection);
      out->assign(reinterpret_cast<const std::byte*>(protection.data()),
                  reinterpret_cast<const std::byte*>(protection.data()) + protection.size());
      break;
    }
    case kControlFlashVerifyFail: board_flash_set_verify_failures(board, request.value); break;
    case kControlFlashReloadHang: board_flash_set_reload_never_returns(board, request.value != 0); break;
    case kControlFlashTiming: known = board_flash_set_timing(board, request.target, request.value); break;
    default: known = false; break;
  }
  return known ? kControlOk : kControlBadRequest;
}

std::int32_t uart_command(Board* board, const ControlRequest& request, std::span<const std::byte> payload,
                          std::vector<std::byte>* out) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
  const std::vector<std::uint8_t> in(bytes, bytes + payload.size());
  bool known = true;
  switch (request.command) {
    case kControlUartPeer:
      known = board_uart_set_peer(board, request.target, static_cast<UartPeerMode>(request.value), in);
      break;
    case kControlUartCameraSend:
      known = board_uart_camera_send(board, request.target, in, (request.width & 1) != 0, (request.width & 2) != 0);
      break;
    case kControlUartView: {
      UartPortView view{};
      known = board_uart_view(board, request.target, &view);
      const ControlUartView record{view.control, view.clock_select, view.resets,
                                   view.baud,    view.heard_count,  view.heard_baud};
      if (known) out->assign(reinterpret_cast<const std::byte*>(&record),
                             reinterpret_cast<const std::byte*>(&record) + sizeof record);
      break;
    }
    case kControlUartHeard: {
      std::vector<std::uint8_t> heard;
      known = board_uart_heard(board, request.target, &heard);
      if (known) out->assign(reinterpret_cast<const std::byte*>(heard.data()),
                             reinterpret_cast<const std::byte*>(heard.data()) + heard.size());
      break;
    }
    case kControlUartCapabilities:
      board_uart_set_capabilities(board, (request.value & 1) != 0, (request.value & 2) != 0);
      break;
    default: known = false; break;
  }
  return known ? kControlOk : kControlBadRequest;
}

std::int32_t front_end_command(Board* board, const ControlRequest& request, std::uint32_t* value,
                               std::vector<std::byte>* out) {
  bool known = true;
  switch (request.command) {
    case kControlPoclFault: known = board_front_end_set_pocl_fault(board, request.target, request.value != 0); break;
    case kControlCameraLinkStatus: board_front_end_set_link_status(board, request.value); break;
    case kControlBinarisationPresent: board_front_end_set_binarisation_present(board, request.value != 0); break;
    case kControlLutLoads: *value = board_front_end_lut_loads(board); break;
    case kControlLutPeek: {
      std::vector<std::uint8_t> bytes;
      known = board_front_end_lut_peek(board, request.offset, request.width, &bytes);
      if (known) out->assign(reinterpret_cast<const std::byte*>(bytes.data()),
                             reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size());
      break;
    }
    default: known = false; break;
  }
  return known ? kControlOk : kControlBadRequest;
}

template <typename Record>
void reply_with(const Record& record, std::vector<std::byte>* out) {
  out->assign(reinterpret_cast<const std::byte*>(&record), reinterpret_cast<const std::byte*>(&record) + sizeof record);
}

std::int32_t gpio_command(Board* board, const ControlRequest& request, std::span<const std::byte> payload,
                          std::vector<std::byte>* out) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
  const std::vector<std::uint8_t> in(bytes, bytes + payload.size());
  switch (request.command) {
    case kControlGpioInputs:
      return board_gpio_set_inputs(board, request.target, request.value) ? kControlOk : kControlBadRequest;
    case kControlGpioView: {
      const GpioBlock g = board_gpio_view(board);
      reply_with(ControlGpioView{g.main_lines, g.main_latches, g.main_settings, g.main_outputs, g.io_lines,
                                 g.io_settings, g.io_latches, g.io_outputs, g.io_control, g.load_pulses,
                                 g.output_setting},
                 out);
      return kControlOk;
    }
    case kControlCameraUartPeer:
      return board_camera_uart_set_peer(board, request.value, in) ? kControlOk : kControlBadRequest;
    case kControlCameraUartSend: board_camera_uart_send(board, in); return kControlOk;
    case kControlCameraUartHeard: {
      const std::vector<std::uint8_t> heard = board_camera_uart_heard(board);
      out->assign(reinterpret_cast<const std::byte*>(heard.data()),
                  reinterpret_cast<const std::byte*>(heard.data()) + heard.size());
      return kControlOk;
    }
    default: return kControlBadRequest;
  }
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
    case kControlRegisterWrites:
      return board_register_writes(board, request.offset, value) ? kControlOk : kControlBadRequest;
    case kControlPeekProcessing:
      return board_peek_processing(board, request.target, request.offset, request.width == 1, value)
                 ? kControlOk
                 : kControlBadRequest;
    case kControlDmaWrite:
      return board_dma_write(board, request.address, payload) ? kControlOk : kControlRefused;
    case kControlPostHostMessage: return post_host_message(board, payload);
    case kControlInjectFrame: return inject_frame(board, payload, value);
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
  if (request.command == kControlHostLockedBuffers) {
    if (table.hooks.locked_buffers == nullptr) {
      reply->status = kControlRefused;
      return;
    }
    reply->value = table.hooks.locked_buffers(table.hooks.context);
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
  if (request.command >= kControlFlashPeek && request.command <= kControlFlashTiming) {
    reply->status = flash_command(table.boards[request.board], request, payload, &reply->value, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  if (request.command >= kControlUartPeer && request.command <= kControlUartCapabilities) {
    reply->status = uart_command(table.boards[request.board], request, payload, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  if (request.command >= kControlPoclFault && request.command <= kControlLutPeek) {
    reply->status = front_end_command(table.boards[request.board], request, &reply->value, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  if (request.command >= kControlGpioInputs && request.command <= kControlCameraUartHeard) {
    reply->status = gpio_command(table.boards[request.board], request, payload, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  if (request.command >= kControlGrabFirst && request.command <= kControlGrabLast) {
    reply->status = grab_control_command(table.boards[request.board], request, payload, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
    return;
  }
  if (request.command == kControlActivity) {
    const BoardActivity a = board_activity(table.boards[request.board]);
    reply_with(ControlBoardActivity{a.logic_resets, a.flash_array_reads, a.eeprom_accesses, 0}, reply_payload);
    reply->payload_size = static_cast<std::uint32_t>(reply_payload->size());
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
