// The register maps of the three firmware variants: per block of BAR 0 its
// type, and per register its access word.
#pragma once

#include <cstdint>
#include <span>

enum class YatVariant : std::uint8_t { kA, kB, kC };

// A run of registers [first, last] (byte offsets, 4 apart) sharing one access word.
struct YatRegisterRun {
  std::uint32_t first;
  std::uint32_t last;
  std::uint32_t access;
};

// False for the FPGA ids that have no variant (3 and from 0x200000 up).
bool YatVariantOfFpgaId(std::uint32_t fpgaId, YatVariant* variant);
std::uint32_t YatVariantBlockType(YatVariant variant, std::uint32_t block);
std::span<const YatRegisterRun> YatVariantRegisters(YatVariant variant);
// Block 64's registers, the same in every variant.
std::span<const YatRegisterRun> YatDmaBlockRegisters();
// Words cleared when a cache block is built (the rest of the block is no cache).
std::uint32_t YatVariantCacheClearWords(YatVariant variant, std::uint32_t block);
