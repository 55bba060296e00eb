// DMA adapters: bookkeeping of what a bus-master device asked for. Transfers
// themselves go through bus addresses of contiguous memory or locked pages.
#pragma once

#include <cstdint>

namespace plat::kernel {

struct DeviceObject;

struct DeviceDescription {
  std::uint32_t version;
  bool master;
  bool scatter_gather;
  bool dma32_bit_addresses;
  bool dma64_bit_addresses;
  bool ignore_count;
  std::uint32_t interface_type;
  std::uint32_t maximum_length;
};

struct DmaAdapter {
  DeviceObject* physical_device;
  DeviceDescription description;
  std::uint32_t map_registers;
};

// Null when the description asks for something the bus cannot give (not a master).
DmaAdapter* get_dma_adapter(DeviceObject* physical_device, const DeviceDescription* description,
                            std::uint32_t* number_of_map_registers);
void put_dma_adapter(DmaAdapter* adapter);

}  // namespace plat::kernel
