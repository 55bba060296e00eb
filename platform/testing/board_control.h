// Client of the kernel host's board control interface, for tests and tools:
// each call is one request on its own connection to
// "<machine>/board-control.sock". Every call answers a ControlStatus
// (control_protocol.h): kControlOk, or why not (kControlUnreachable when no
// kernel host serves the machine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/board/board.h"
#include "platform/board/control_protocol.h"
#include "platform/board/eeprom_device.h"
#include "platform/board/uart_block.h"

namespace plat::testing {

struct BoardListing {
  int index;
  std::string model;
  bool present;  // false once removed
  plat::board::PciLocation location;
  plat::board::PciLocation bridge;
};

int board_control_list(std::vector<BoardListing>* boards);

// Configuration space of board `board`'s function, or of the bridge above it.
int board_control_config_read(int board, std::uint32_t offset, std::uint32_t width,
                              std::uint32_t* value, bool bridge = false);
int board_control_config_write(int board, std::uint32_t offset, std::uint32_t width,
                               std::uint32_t value, bool bridge = false);

int board_control_register_read(int board, std::uint32_t offset, std::uint32_t* value, int bar = 0);
int board_control_register_write(int board, std::uint32_t offset, std::uint32_t value, int bar = 0);

// Latches `bits` in an interrupt status register (0x404, 0x408, 0x40C, 0x44C, 0x10014).
int board_control_raise_status(int board, std::uint32_t status_register, std::uint32_t bits);
int board_control_interrupt_asserted(int board, bool* asserted);
int board_control_set_vanished(int board, bool vanished);
int board_control_set_vanish_mode(int board, plat::board::VanishMode mode);
// Input bits of a plain register (status lines); the value last written to a
// plain register (write-only ones included); a processing unit's memory word
// or index register (board.h).
int board_control_set_inputs(int board, std::uint32_t offset, std::uint32_t inputs);
int board_control_peek_register(int board, std::uint32_t offset, std::uint32_t* value);
// The writes a register took since the kernel host made the board.
int board_control_register_writes(int board, std::uint32_t offset, std::uint32_t* count);
int board_control_peek_processing(int board, std::uint32_t unit, std::uint32_t address, bool index_register,
                                  std::uint32_t* value);
// What the board has done since the kernel host made it (FPGA logic resets,
// flash array reads, EEPROM transfers): a test compares two readings.
int board_control_activity(int board, plat::board::ControlBoardActivity* activity);
// Writes host memory at a bus address by the board's DMA.
int board_control_dma_write(int board, std::uint64_t bus_address, std::span<const std::byte> data);
// A board's EEPROMs (8-bit addresses 0xA0, 0xA2, 0xAA, 0xA4) and its I2C
// faults (platform/board/board_i2c.h).
int board_control_eeprom_peek(int board, std::uint8_t address, plat::board::EepromImage* image);
int board_control_eeprom_program(int board, std::uint8_t address, std::span<const std::uint8_t> bytes);
int board_control_eeprom_set_fitted(int board, std::uint8_t address, bool fitted);
int board_control_eeprom_set_no_acknowledge(int board, std::uint8_t address, bool on);
int board_control_i2c_hold_clock(int board, bool held);
// Posts a message of the host DMA engine (platform/board/host_messages.h);
// kControlRefused while the board's message FIFO is full.
int board_control_post_host_message(int board, const std::uint32_t (&words)[8]);
// A camera frame at an acquisition channel's input, carried by the board's
// DMA engines (platform/board/dma_frames.h); *filled is the number of host
// buffers it filled.
int board_control_inject_frame(int board, const plat::board::ControlFrame& frame, std::uint32_t* filled = nullptr);
// The camera at input `camera` and its grab controller
// (platform/board/grab_controller.h): the camera's geometry and frame
// period, its pixel clock, a pulse on its external frame trigger, and the
// controller's state (running, frames started and completed, last command,
// channel resets seen).
int board_control_set_camera_model(int board, std::uint32_t camera, const plat::board::ControlCameraModel& model);
int board_control_camera_model(int board, std::uint32_t camera, plat::board::ControlCameraModel* model);
int board_control_set_pixel_clock(int board, std::uint32_t camera, bool present);
int board_control_external_trigger(int board, std::uint32_t camera);
int board_control_grab_state(int board, std::uint32_t camera, plat::board::ControlGrabState* state);
// A board's flash (platform/board/board_flash.h): bytes as a programmer on
// the bench reads and writes them, the protection scheme (1 persistent,
// 2 legacy groups), its state (state bits and one protection byte per
// block), and its faults and timing.
int board_control_flash_peek(int board, std::uint32_t offset, std::uint32_t count, std::vector<std::uint8_t>* bytes);
int board_control_flash_program(int board, std::uint32_t offset, std::span<const std::uint8_t> bytes);
int board_control_flash_set_scheme(int board, std::uint32_t scheme);
int board_control_flash_state(int board, std::uint32_t* state, std::vector<std::uint8_t>* protection = nullptr);
int board_control_flash_set_verify_failures(int board, std::uint32_t count);
int board_control_flash_set_reload_never_returns(int board, bool on);
int board_control_flash_set_timing(int board, std::uint32_t item, std::uint32_t value);
// The camera end of a board's serial port `port` (0, 1; platform/board/uart_block.h):
// what the camera does with what it hears, bytes it sends (with parity
// errors; as one burst that may overflow the receive FIFO), the port's
// settings as the UART holds them, and every byte the camera heard.
int board_control_uart_set_peer(int board, std::uint32_t port, plat::board::UartPeerMode mode,
                                std::span<const std::uint8_t> reply = {});
int board_control_uart_camera_send(int board, std::uint32_t port, std::span<const std::uint8_t> bytes,
                                   bool parity_error = false, bool burst = false);
int board_control_uart_view(int board, std::uint32_t port, plat::board::ControlUartView* view);
int board_control_uart_heard(int board, std::uint32_t port, std::vector<std::uint8_t>* bytes);
int board_control_uart_set_capabilities(int board, bool fast_clock, bool transmit_interrupt);
// The cameras' end of the front end (platform/board/front_end.h): a fault of
// camera `camera`'s Power over Camera Link, the link status lines of 0x418,
// whether a binarisation block is present; the LUT load pulses seen and the
// bytes of LUT memory at a BAR 0 address.
int board_control_set_pocl_fault(int board, std::uint32_t camera, bool fault);
int board_control_set_camera_link_status(int board, std::uint32_t lines);
int board_control_set_binarisation_present(int board, bool present);
int board_control_lut_loads(int board, std::uint32_t* loads);
int board_control_lut_peek(int board, std::uint32_t address, std::uint32_t count, std::vector<std::uint8_t>* bytes);
// General-purpose I/O (platform/board/gpio_block.h): the input lines of a
// group (plat::board::GpioGroup: 0 main board, 1 I/O board with the fault at
// bit 8) and the block as it stands; the camera UART's far end
// (platform/board/camera_uart.h): what the camera does with what it hears,
// bytes it sends, every byte it heard.
int board_control_gpio_set_inputs(int board, std::uint32_t group, std::uint32_t lines);
int board_control_gpio_view(int board, plat::board::ControlGpioView* view);
int board_control_camera_uart_set_peer(int board, plat::board::UartPeerMode mode,
                                       std::span<const std::uint8_t> reply = {});
int board_control_camera_uart_send(int board, std::span<const std::uint8_t> bytes);
int board_control_camera_uart_heard(int board, std::vector<std::uint8_t>* bytes);
// Removes the board through the kernel host's Plug and Play.
int board_control_remove(int board);
// Buffers the kernel host's memory driver holds locked for DMA.
int board_control_locked_buffers(std::uint32_t* count);

}  // namespace plat::testing
