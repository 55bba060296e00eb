#include "platform/testing/board_control.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/board/control_socket.h"

namespace plat::testing {

namespace {

using namespace plat::board;

class Connection {
 public:
  Connection() {
    const std::string path = control_socket_path();
    if (path.empty()) return;
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
    control_set_timeouts(fd_);
  }
  ~Connection() {
    if (fd_ >= 0) ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Sends one request; on success *reply and *reply_payload hold the answer.
int transact(ControlRequest request, std::span<const std::byte> payload, ControlReply* reply,
             std::vector<std::byte>* reply_payload = nullptr) {
  Connection connection;
  if (connection.fd() < 0 || payload.size() > kControlMaxPayload) return kControlUnreachable;
  request.payload_size = static_cast<std::uint32_t>(payload.size());
  if (!control_write_all(connection.fd(), std::as_bytes(std::span(&request, 1))) ||
      !control_write_all(connection.fd(), payload) ||
      !control_read_all(connection.fd(), std::as_writable_bytes(std::span(reply, 1))) ||
      reply->payload_size > kControlMaxPayload)
    return kControlUnreachable;
  std::vector<std::byte> received(reply->payload_size);
  if (!control_read_all(connection.fd(), received)) return kControlUnreachable;
  if (reply_payload != nullptr) *reply_payload = std::move(received);
  return reply->status;
}

int simple(ControlRequest request, std::uint32_t* value = nullptr) {
  ControlReply reply{};
  const int status = transact(request, {}, &reply);
  if (status == kControlOk && value != nullptr) *value = reply.value;
  return status;
}

ControlRequest make(ControlCommand command, int board) {
  ControlRequest request{};
  request.command = command;
  request.board = board;
  return request;
}

// Most knobs are one command with an offset (or address) and a value.
// A request whose reply payload is a run of bytes.
int fetch_bytes(const ControlRequest& request, std::vector<std::uint8_t>* bytes) {
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(request, {}, &reply, &payload);
  if (status != kControlOk) return status;
  const auto* first = reinterpret_cast<const std::uint8_t*>(payload.data());
  bytes->assign(first, first + payload.size());
  return kControlOk;
}

int setting(ControlCommand command, int board, std::uint32_t offset, std::uint32_t value) {
  ControlRequest request = make(command, board);
  request.offset = offset;
  request.value = value;
  return simple(request);
}

BoardListing to_listing(const ControlBoardEntry& entry) {
  BoardListing listing{};
  listing.index = entry.index;
  listing.model.assign(entry.model, strnlen(entry.model, sizeof entry.model));
  listing.present = entry.present != 0;
  listing.location = PciLocation{entry.bus, entry.device, entry.function};
  listing.bridge = PciLocation{entry.bridge_bus, entry.bridge_device, entry.bridge_function};
  return listing;
}

}  // namespace

int board_control_list(std::vector<BoardListing>* boards) {
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(make(kControlList, -1), {}, &reply, &payload);
  if (status != kControlOk) return status;
  boards->clear();
  for (std::size_t at = 0; at + sizeof(ControlBoardEntry) <= payload.size(); at += sizeof(ControlBoardEntry)) {
    ControlBoardEntry entry;
    std::memcpy(&entry, payload.data() + at, sizeof entry);
    boards->push_back(to_listing(entry));
  }
  return kControlOk;
}

int board_control_config_read(int board, std::uint32_t offset, std::uint32_t width,
                              std::uint32_t* value, bool bridge) {
  ControlRequest request = make(kControlConfigRead, board);
  request.target = bridge ? kControlTargetBridge : kControlTargetFunction;
  request.offset = offset;
  request.width = width;
  return simple(request, value);
}

int board_control_config_write(int board, std::uint32_t offset, std::uint32_t width,
                               std::uint32_t value, bool bridge) {
  ControlRequest request = make(kControlConfigWrite, board);
  request.target = bridge ? kControlTargetBridge : kControlTargetFunction;
  request.offset = offset;
  request.width = width;
  request.value = value;
  return simple(request);
}

int board_control_register_read(int board, std::uint32_t offset, std::uint32_t* value, int bar) {
  ControlRequest request = make(kControlRegisterRead, board);
  request.target = static_cast<std::uint32_t>(bar);
  request.offset = offset;
  return simple(request, value);
}

int board_control_register_write(int board, std::uint32_t offset, std::uint32_t value, int bar) {
  ControlRequest request = make(kControlRegisterWrite, board);
  request.target = static_cast<std::uint32_t>(bar);
  request.offset = offset;
  request.value = value;
  return simple(request);
}

int board_control_raise_status(int board, std::uint32_t status_register, std::uint32_t bits) {
  return setting(kControlRaiseStatus, board, status_register, bits);
}

int board_control_interrupt_asserted(int board, bool* asserted) {
  std::uint32_t level = 0;
  const int status = simple(make(kControlInterruptLevel, board), &level);
  if (status == kControlOk) *asserted = level != 0;
  return status;
}

int board_control_set_vanished(int board, bool vanished) {
  return setting(kControlSetVanished, board, 0, vanished ? 1 : 0);
}

int board_control_set_vanish_mode(int board, plat::board::VanishMode mode) {
  return setting(kControlSetVanished, board, 0, static_cast<std::uint32_t>(mode));
}

int board_control_eeprom_peek(int board, std::uint8_t address, plat::board::EepromImage* image) {
  ControlRequest request = make(kControlEepromPeek, board);
  request.offset = address;
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(request, {}, &reply, &payload);
  if (status != kControlOk) return status;
  if (payload.size() != image->size()) return kControlBadRequest;
  std::memcpy(image->data(), payload.data(), payload.size());
  return kControlOk;
}

int board_control_eeprom_program(int board, std::uint8_t address, std::span<const std::uint8_t> bytes) {
  ControlRequest request = make(kControlEepromProgram, board);
  request.offset = address;
  ControlReply reply{};
  return transact(request, std::as_bytes(bytes), &reply);
}

int board_control_eeprom_set_fitted(int board, std::uint8_t address, bool fitted) {
  return setting(kControlEepromFitted, board, address, fitted ? 1 : 0);
}

int board_control_eeprom_set_no_acknowledge(int board, std::uint8_t address, bool on) {
  return setting(kControlEepromNoAck, board, address, on ? 1 : 0);
}

int board_control_i2c_hold_clock(int board, bool held) {
  return setting(kControlI2cHoldClock, board, 0, held ? 1 : 0);
}

int board_control_set_inputs(int board, std::uint32_t offset, std::uint32_t inputs) {
  return setting(kControlSetInputs, board, offset, inputs);
}

int board_control_peek_register(int board, std::uint32_t offset, std::uint32_t* value) {
  ControlRequest request = make(kControlPeekRegister, board);
  request.offset = offset;
  return simple(request, value);
}

int board_control_register_writes(int board, std::uint32_t offset, std::uint32_t* count) {
  ControlRequest request = make(kControlRegisterWrites, board);
  request.offset = offset;
  return simple(request, count);
}

int board_control_peek_processing(int board, std::uint32_t unit, std::uint32_t address, bool index_register,
                                  std::uint32_t* value) {
  ControlRequest request = make(kControlPeekProcessing, board);
  request.target = unit;
  request.offset = address;
  request.width = index_register ? 1 : 4;
  return simple(request, value);
}

int board_control_dma_write(int board, std::uint64_t bus_address, std::span<const std::byte> data) {
  ControlRequest request = make(kControlDmaWrite, board);
  request.address = bus_address;
  ControlReply reply{};
  return transact(request, data, &reply);
}

int board_control_post_host_message(int board, const std::uint32_t (&words)[8]) {
  ControlReply reply{};
  return transact(make(kControlPostHostMessage, board), std::as_bytes(std::span(words)), &reply);
}

int board_control_inject_frame(int board, const plat::board::ControlFrame& frame, std::uint32_t* filled) {
  ControlReply reply{};
  const int status = transact(make(kControlInjectFrame, board), std::as_bytes(std::span(&frame, 1)), &reply);
  if (filled != nullptr) *filled = reply.value;
  return status;
}

namespace {

// A command on one camera whose answer is a record.
template <typename Record>
int camera_record(ControlCommand command, int board, std::uint32_t camera, Record* record) {
  ControlRequest request = make(command, board);
  request.target = camera;
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(request, {}, &reply, &payload);
  if (status != kControlOk) return status;
  if (payload.size() != sizeof *record) return kControlBadRequest;
  std::memcpy(record, payload.data(), sizeof *record);
  return kControlOk;
}

}  // namespace

int board_control_activity(int board, plat::board::ControlBoardActivity* activity) {
  return camera_record(kControlActivity, board, 0, activity);
}

int board_control_set_camera_model(int board, std::uint32_t camera, const plat::board::ControlCameraModel& model) {
  ControlRequest request = make(kControlGrabSetCamera, board);
  request.target = camera;
  ControlReply reply{};
  return transact(request, std::as_bytes(std::span(&model, 1)), &reply);
}

int board_control_camera_model(int board, std::uint32_t camera, plat::board::ControlCameraModel* model) {
  return camera_record(kControlGrabCamera, board, camera, model);
}

int board_control_set_pixel_clock(int board, std::uint32_t camera, bool present) {
  ControlRequest request = make(kControlGrabPixelClock, board);
  request.target = camera;
  request.value = present ? 1 : 0;
  return simple(request);
}

int board_control_external_trigger(int board, std::uint32_t camera) {
  ControlRequest request = make(kControlGrabTrigger, board);
  request.target = camera;
  return simple(request);
}

int board_control_grab_state(int board, std::uint32_t camera, plat::board::ControlGrabState* state) {
  return camera_record(kControlGrabState, board, camera, state);
}

int board_control_flash_peek(int board, std::uint32_t offset, std::uint32_t count, std::vector<std::uint8_t>* bytes) {
  ControlRequest request = make(kControlFlashPeek, board);
  request.offset = offset;
  request.width = count;
  return fetch_bytes(request, bytes);
}

int board_control_flash_program(int board, std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  ControlRequest request = make(kControlFlashProgram, board);
  request.offset = offset;
  ControlReply reply{};
  return transact(request, std::as_bytes(bytes), &reply);
}

int board_control_flash_set_scheme(int board, std::uint32_t scheme) {
  return setting(kControlFlashScheme, board, 0, scheme);
}

int board_control_flash_state(int board, std::uint32_t* state, std::vector<std::uint8_t>* protection) {
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(make(kControlFlashState, board), {}, &reply, &payload);
  if (status != kControlOk) return status;
  *state = reply.value;
  if (protection != nullptr) {
    protection->resize(payload.size());
    if (!payload.empty()) std::memcpy(protection->data(), payload.data(), payload.size());
  }
  return kControlOk;
}

int board_control_flash_set_verify_failures(int board, std::uint32_t count) {
  return setting(kControlFlashVerifyFail, board, 0, count);
}

int board_control_flash_set_reload_never_returns(int board, bool on) {
  return setting(kControlFlashReloadHang, board, 0, on ? 1 : 0);
}

int board_control_flash_set_timing(int board, std::uint32_t item, std::uint32_t value) {
  ControlRequest request = make(kControlFlashTiming, board);
  request.target = item;
  request.value = value;
  return simple(request);
}

int board_control_remove(int board) { return simple(make(kControlRemove, board)); }

int board_control_locked_buffers(std::uint32_t* count) { return simple(make(kControlHostLockedBuffers, 0), count); }

int board_control_gpio_set_inputs(int board, std::uint32_t group, std::uint32_t lines) {
  ControlRequest request = make(kControlGpioInputs, board);
  request.target = group;
  request.value = lines;
  return simple(request);
}

int board_control_gpio_view(int board, plat::board::ControlGpioView* view) {
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(make(kControlGpioView, board), {}, &reply, &payload);
  if (status != kControlOk) return status;
  if (payload.size() != sizeof *view) return kControlBadRequest;
  std::memcpy(view, payload.data(), sizeof *view);
  return kControlOk;
}

int board_control_camera_uart_set_peer(int board, plat::board::UartPeerMode mode,
                                       std::span<const std::uint8_t> reply) {
  ControlRequest request = make(kControlCameraUartPeer, board);
  request.value = static_cast<std::uint32_t>(mode);
  ControlReply answer{};
  return transact(request, std::as_bytes(reply), &answer);
}

int board_control_camera_uart_send(int board, std::span<const std::uint8_t> bytes) {
  ControlReply reply{};
  return transact(make(kControlCameraUartSend, board), std::as_bytes(bytes), &reply);
}

int board_control_camera_uart_heard(int board, std::vector<std::uint8_t>* bytes) {
  return fetch_bytes(make(kControlCameraUartHeard, board), bytes);
}

int board_control_uart_set_peer(int board, std::uint32_t port, plat::board::UartPeerMode mode,
                                std::span<const std::uint8_t> reply) {
  ControlRequest request = make(kControlUartPeer, board);
  request.target = port;
  request.value = static_cast<std::uint32_t>(mode);
  ControlReply answer{};
  return transact(request, std::as_bytes(reply), &answer);
}

int board_control_uart_camera_send(int board, std::uint32_t port, std::span<const std::uint8_t> bytes,
                                   bool parity_error, bool burst) {
  ControlRequest request = make(kControlUartCameraSend, board);
  request.target = port;
  request.width = (parity_error ? 1u : 0u) | (burst ? 2u : 0u);
  ControlReply reply{};
  return transact(request, std::as_bytes(bytes), &reply);
}

int board_control_uart_view(int board, std::uint32_t port, plat::board::ControlUartView* view) {
  ControlRequest request = make(kControlUartView, board);
  request.target = port;
  ControlReply reply{};
  std::vector<std::byte> payload;
  const int status = transact(request, {}, &reply, &payload);
  if (status != kControlOk) return status;
  if (payload.size() != sizeof *view) return kControlBadRequest;
  std::memcpy(view, payload.data(), sizeof *view);
  return kControlOk;
}

int board_control_uart_heard(int board, std::uint32_t port, std::vector<std::uint8_t>* bytes) {
  ControlRequest request = make(kControlUartHeard, board);
  request.target = port;
  return fetch_bytes(request, bytes);
}

int board_control_uart_set_capabilities(int board, bool fast_clock, bool transmit_interrupt) {
  return setting(kControlUartCapabilities, board, 0, (fast_clock ? 1u : 0u) | (transmit_interrupt ? 2u : 0u));
}

int board_control_set_pocl_fault(int board, std::uint32_t camera, bool fault) {
  ControlRequest request = make(kControlPoclFault, board);
  request.target = camera;
  request.value = fault ? 1 : 0;
  return simple(request);
}

int board_control_set_camera_link_status(int board, std::uint32_t lines) {
  return setting(kControlCameraLinkStatus, board, 0, lines);
}

int board_control_set_binarisation_present(int board, bool present) {
  return setting(kControlBinarisationPresent, board, 0, present ? 1 : 0);
}

int board_control_lut_loads(int board, std::uint32_t* loads) { return simple(make(kControlLutLoads, board), loads); }

int board_control_lut_peek(int board, std::uint32_t address, std::uint32_t count, std::vector<std::uint8_t>* bytes) {
  ControlRequest request = make(kControlLutPeek, board);
  request.offset = address;
  request.width = count;
  return fetch_bytes(request, bytes);
}

}  // namespace plat::testing
