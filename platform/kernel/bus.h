// The simulated PCI bus: one physical device object per board, served by the
// bus driver (configuration space, properties, the requests a function driver
// passes down), and the Plug and Play sequence that adds, starts and removes
// boards for a function driver.
#pragma once

#include "platform/board/board.h"
#include "platform/kernel/device.h"

namespace plat::kernel {

struct BusSlot;

// Creates the board's physical device, lets the driver add its device above
// it, then starts the stack with the board's resources (one level-sensitive
// interrupt, one memory range per BAR). *out is set even when the start fails
// (the board stays added until removed).
NtStatus bus_add_board(board::Board* board, DriverObject* driver, BusSlot** out);
// Orderly removal (query-remove, remove) or a surprise removal (surprise
// removal, remove); afterwards the physical device is deleted. The board
// itself stays for the caller to destroy.
NtStatus bus_remove_board(BusSlot* slot, bool surprise);

// Frees the slot of a removed board.
void bus_free_slot(BusSlot* slot);

board::Board* bus_slot_board(const BusSlot* slot);
DeviceObject* bus_slot_physical_device(const BusSlot* slot);
NtStatus bus_slot_start_status(const BusSlot* slot);

// Sends a Plug and Play request to the top of the stack of a physical device.
NtStatus send_pnp_request(DeviceObject* physical_device, std::uint8_t minor, ResourceList* raw,
                          ResourceList* translated);
// Sends a power request (set power, device state) to the top of the stack.
NtStatus send_power_request(DeviceObject* physical_device, std::uint8_t minor, std::uint32_t device_state);

}  // namespace plat::kernel
