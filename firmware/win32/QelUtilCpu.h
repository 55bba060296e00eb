// The processor-feature cache: identification leaves 0 and 1, read once for
// the whole machine into the library's shared section (a feature word of 0
// means not read yet), and the predicates the copy and buffer code ask.
#pragma once

#include <cstdint>

struct CpuFeatureCache {
  char vendor[12];           // leaf 0, "GenuineIntel", "AuthenticAMD", ...
  std::uint32_t signature;   // leaf 1 EAX
  std::uint32_t brandWord;   // leaf 1 EBX: brand index, CLFLUSH size, logical count, APIC id
  std::uint32_t features;    // leaf 1 EDX; 0 until read
  std::uint32_t sse;         // feature bit 25
  std::uint32_t sse2;        // feature bit 26
};
static_assert(sizeof(CpuFeatureCache) == 32);

std::uint32_t CpuGetProcessorCount();
// Reads the leaves into the cache (again); true once it holds them.
bool CpuReadFeatures();

bool SysHasMmx();
bool CpuHasSse();
bool CpuHasSse2();
bool CpuHasBit31();
bool CpuHasBits31And30();
bool CpuIsFamily15();
bool CpuIsIntel();
bool CpuIsAmd();
// The 12 vendor bytes (false below 12) and the same as a terminated text
// (false below 13).
bool CpuGetVendor(char* vendor, std::uint32_t size);
bool CpuGetVendorText(char* text, std::uint32_t size);
std::uint32_t CpuGetBrandIndex();
std::uint32_t CpuGetClflushSize();
std::uint32_t CpuGetApicId();
std::uint32_t CpuGetFeatures();
std::uint32_t CpuGetSignature();
std::uint32_t CpuGetBrandWord();
bool CpuSseUsable();
bool CpuSse2Usable();
bool CpuHasHyperThreading();
std::uint32_t CpuGetLogicalCount();
