// DMA by bus address: arena pages are the host's own memory; locked client
// pages are written in the client, one call per contiguous piece.
#include <algorithm>
#include <cstring>

#include "platform/kernel/physical_memory.h"
#include "platform/kernel/physical_memory_internal.h"

namespace plat::kernel {

using namespace physmem_detail;
namespace {

// Calls copy(host pointer or null, client run or null, offset in data, length)
// for each piece; stops at the first piece without backing.
template <typename Copy>
bool for_each_piece(std::uint64_t bus_address, std::size_t size, Copy copy) {
  std::size_t done = 0;
  while (done < size) {
    std::uint64_t at = bus_address + done;
    if (at < bus_address) return false;
    std::byte* host = nullptr;
    ClientRun run{};
    std::size_t piece = arena_run(at, &host);
    if (piece == 0 && find_locked_run(at, &run)) piece = static_cast<std::size_t>(run.length);
    if (piece == 0) return false;
    piece = std::min(piece, size - done);
    if (!copy(host, host ? nullptr : &run, done, piece)) return false;
    done += piece;
  }
  return true;
}

}  // namespace

bool dma_write(std::uint64_t bus_address, std::span<const std::byte> data) {
  return for_each_piece(bus_address, data.size(),
                        [&](std::byte* host, const ClientRun* run, std::size_t offset,
                            std::size_t length) {
                          auto piece = data.subspan(offset, length);
                          if (host != nullptr) {
                            std::memcpy(host, piece.data(), length);
                            return true;
                          }
                          return write_client_memory(run->client, run->address, piece);
                        });
}

bool dma_read(std::uint64_t bus_address, std::span<std::byte> out) {
  return for_each_piece(bus_address, out.size(),
                        [&](std::byte* host, const ClientRun* run, std::size_t offset,
                            std::size_t length) {
                          auto piece = out.subspan(offset, length);
                          if (host != nullptr) {
                            std::memcpy(piece.data(), host, length);
                            return true;
                          }
                          return read_client_memory(run->client, run->address, piece);
                        });
}

}  // namespace plat::kernel
