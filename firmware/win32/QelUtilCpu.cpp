#include "firmware/win32/QelUtilCpu.h"

#include <atomic>
#include <cstring>

#include "firmware/win32/QuilletShared.h"
#include "platform/win/processor.h"

namespace {

constexpr std::uint32_t kFeatureMmx = 1u << 23;
constexpr std::uint32_t kFeatureSse = 1u << 25;
constexpr std::uint32_t kFeatureSse2 = 1u << 26;
constexpr std::uint32_t kFeatureHyperThreading = 1u << 28;
constexpr std::uint32_t kFeatureBit30 = 1u << 30;
constexpr std::uint32_t kFeatureBit31 = 1u << 31;

std::atomic_ref<std::uint32_t> FeatureWord(CpuFeatureCache& cache) {
  return std::atomic_ref<std::uint32_t>(cache.features);
}

// The cache, read on first use. Several processes may fill it at once: they
// write the same values, and the feature word goes last.
const CpuFeatureCache& Cache() {
  CpuFeatureCache& cache = QuilletGetSharedData()->cpu;
  if (FeatureWord(cache).load(std::memory_order_acquire) == 0) CpuReadFeatures();
  return cache;
}

std::uint32_t Features() { return Cache().features; }
bool HasFeature(std::uint32_t bits) { return (Features() & bits) == bits; }
std::uint32_t BrandByte(int index) { return (Cache().brandWord >> (8 * index)) & 0xFFu; }

bool VendorIs(const char* name) { return std::memcmp(Cache().vendor, name, 12) == 0; }

}  // namespace

std::uint32_t CpuGetProcessorCount() { return plat::processor_count(); }

bool CpuReadFeatures() {
  CpuFeatureCache& cache = QuilletGetSharedData()->cpu;
  const plat::CpuidRegisters leaf0 = plat::cpuid(0);
  const plat::CpuidRegisters leaf1 = plat::cpuid(1);
  // The vendor text is EBX, EDX, ECX in that order.
  std::memcpy(cache.vendor, &leaf0.ebx, 4);
  std::memcpy(cache.vendor + 4, &leaf0.edx, 4);
  std::memcpy(cache.vendor + 8, &leaf0.ecx, 4);
  cache.signature = leaf1.eax;
  cache.brandWord = leaf1.ebx;
  cache.sse = (leaf1.edx & kFeatureSse) != 0 ? 1 : 0;
  cache.sse2 = (leaf1.edx & kFeatureSse2) != 0 ? 1 : 0;
  FeatureWord(cache).store(leaf1.edx, std::memory_order_release);
  return leaf1.edx != 0;
}

bool SysHasMmx() { return HasFeature(kFeatureMmx); }
bool CpuHasSse() { return HasFeature(kFeatureSse); }
bool CpuHasSse2() { return HasFeature(kFeatureSse2); }
bool CpuHasBit31() { return HasFeature(kFeatureBit31); }
bool CpuHasBits31And30() { return HasFeature(kFeatureBit31 | kFeatureBit30); }

bool CpuIsFamily15() {
  const std::uint32_t signature = Cache().signature;
  return ((signature >> 8) & 0xFu) == 0xFu || ((signature >> 20) & 0xFFu) != 0;
}

bool CpuIsIntel() { return VendorIs("GenuineIntel"); }
bool CpuIsAmd() { return VendorIs("AuthenticAMD"); }

bool CpuGetVendor(char* vendor, std::uint32_t size) {
  if (vendor == nullptr || size < 12) return false;
  std::memcpy(vendor, Cache().vendor, 12);
  return true;
}

bool CpuGetVendorText(char* text, std::uint32_t size) {
  if (text == nullptr || size < 13) return false;
  std::memcpy(text, Cache().vendor, 12);
  text[12] = '\0';
  return true;
}

std::uint32_t CpuGetBrandIndex() { return BrandByte(0); }
std::uint32_t CpuGetClflushSize() { return BrandByte(1); }
std::uint32_t CpuGetApicId() { return BrandByte(3); }
std::uint32_t CpuGetFeatures() { return Features(); }
std::uint32_t CpuGetSignature() { return Cache().signature; }
std::uint32_t CpuGetBrandWord() { return Cache().brandWord; }

bool CpuSseUsable() { return CpuHasSse() && Cache().sse != 0; }
bool CpuSse2Usable() { return CpuHasSse2() && Cache().sse2 != 0; }

bool CpuHasHyperThreading() { return CpuIsFamily15() && CpuIsIntel() && HasFeature(kFeatureHyperThreading); }

std::uint32_t CpuGetLogicalCount() { return CpuHasHyperThreading() ? BrandByte(2) : 1; }
