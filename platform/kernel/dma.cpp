#include "platform/kernel/dma.h"

#include "platform/kernel/physical_memory.h"

namespace plat::kernel {

DmaAdapter* get_dma_adapter(DeviceObject* physical_device, const DeviceDescription* description,
                            std::uint32_t* number_of_map_registers) {
  if (physical_device == nullptr || description == nullptr || !description->master) return nullptr;
  auto* adapter = new DmaAdapter{physical_device, *description, 0};
  std::uint64_t length = description->maximum_length ? description->maximum_length : kPageSize;
  adapter->map_registers = static_cast<std::uint32_t>((length + kPageSize - 1) / kPageSize + 1);
  if (number_of_map_registers) *number_of_map_registers = adapter->map_registers;
  return adapter;
}

void put_dma_adapter(DmaAdapter* adapter) { delete adapter; }

}  // namespace plat::kernel
