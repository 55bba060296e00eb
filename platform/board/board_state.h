// The state of one simulated board: its PCI function and bridge, and one
// record per hardware block. One mutex guards all of it; each register access
// is one synchronous call under it.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/board/board.h"
#include "platform/board/board_uart.h"
#include "platform/board/camera_uart.h"
#include "platform/board/config_space.h"
#include "platform/board/control_registers.h"
#include "platform/board/dma_control_block.h"
#include "platform/board/dma_engines.h"
#include "platform/board/flash_port.h"
#include "platform/board/fpga_ports.h"
#include "platform/board/front_end.h"
#include "platform/board/grab_controller.h"
#include "platform/board/grab_worker.h"
#include "platform/board/gpio_block.h"
#include "platform/board/host_messages.h"
#include "platform/board/i2c_bus.h"
#include "platform/board/identity_block.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/memory_windows.h"
#include "platform/board/onboard_memory.h"
#include "platform/board/packer_arbiter.h"
#include "platform/board/presets.h"
#include "platform/board/processing_unit.h"
#include "platform/board/register_writes.h"

namespace plat::board {

// Who is told about the interrupt line, and what they were last told.
struct InterruptLineState {
  InterruptLineCallback callback = nullptr;
  void* context = nullptr;
  bool reported_level = false;
  bool reevaluate = false;  // a change happened while a report was running
  bool reporting = false;   // a thread is calling the callback
  std::condition_variable idle;
};

class Board {
 public:
  BoardConfig config;
  const BoardPreset* preset = nullptr;
  int index = 0;

  mutable std::mutex lock;
  bool vanished = false;
  bool vanished_line_held = false;  // vanished, but the interrupt line keeps its level
  ConfigSpace function_config;
  ConfigSpace bridge_config;
  IdentityBlock identity;
  InterruptBlock interrupts;
  HostMessages host_messages;
  DmaControlBlock dma_control;
  DmaEngines dma;
  ControlRegisters registers;
  I2cBus i2c;
  MemoryWindows windows;
  OnboardMemory onboard;
  FpgaPorts fpga;
  ProcessingUnits processing;
  PackerArbiter arbiter;
  FrontEnd front_end;
  GrabBlock grab;
  GpioBlock gpio;
  CameraUart camera_uart;
  FlashBlock flash;
  RegisterWrites writes;
  InterruptLineState line;
  UartBlock uarts;
  UartWorker uart_worker;  // last: it stops before anything it uses goes
  GrabWorker grab_worker;  // after it, for the same reason
};

}  // namespace plat::board
