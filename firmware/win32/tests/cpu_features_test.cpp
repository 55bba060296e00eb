#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "firmware/win32/QelUtilCpu.h"
#include "firmware/win32/QuilletShared.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/processor.h"

namespace {

TEST(CpuFeatures, CacheFillsOnFirstUseFromTheProcessor) {
  plat::testing::ScopedMachine machine;
  CpuFeatureCache& cache = QuilletGetSharedData()->cpu;
  cache = {};  // as a fresh section holds it
  const plat::CpuidRegisters leaf1 = plat::cpuid(1);
  EXPECT_EQ(CpuGetFeatures(), leaf1.edx);
  EXPECT_EQ(cache.features, leaf1.edx);
  EXPECT_EQ(cache.signature, leaf1.eax);
  EXPECT_EQ(cache.brandWord, leaf1.ebx);
  EXPECT_EQ(cache.sse, (leaf1.edx >> 25) & 1);
  EXPECT_EQ(cache.sse2, (leaf1.edx >> 26) & 1);
  EXPECT_EQ(CpuGetSignature(), leaf1.eax);
  EXPECT_EQ(CpuGetBrandWord(), leaf1.ebx);
  EXPECT_EQ(CpuGetBrandIndex(), leaf1.ebx & 0xFF);
  EXPECT_EQ(CpuGetClflushSize(), (leaf1.ebx >> 8) & 0xFF);
  EXPECT_EQ(CpuGetApicId(), leaf1.ebx >> 24);
}

TEST(CpuFeatures, PredicatesReadTheCache) {
  plat::testing::ScopedMachine machine;
  CpuFeatureCache& cache = QuilletGetSharedData()->cpu;
  // A made-up processor: family 15 Intel with hyper-threading and 4 logical processors.
  std::memcpy(cache.vendor, "GenuineIntel", 12);
  cache.signature = 0x00000F29;
  cache.brandWord = 0x07040800 | 0x0A;
  cache.sse = 1;
  cache.sse2 = 0;
  cache.features = (1u << 23) | (1u << 25) | (1u << 26) | (1u << 28) | (1u << 31);
  EXPECT_TRUE(SysHasMmx());
  EXPECT_TRUE(CpuHasSse());
  EXPECT_TRUE(CpuSseUsable());
  EXPECT_TRUE(CpuHasSse2());
  EXPECT_FALSE(CpuSse2Usable());  // the cached flag says no
  EXPECT_TRUE(CpuHasBit31());
  EXPECT_FALSE(CpuHasBits31And30());
  EXPECT_TRUE(CpuIsFamily15());
  EXPECT_TRUE(CpuIsIntel());
  EXPECT_FALSE(CpuIsAmd());
  EXPECT_TRUE(CpuHasHyperThreading());
  EXPECT_EQ(CpuGetLogicalCount(), 4u);
  EXPECT_EQ(CpuGetBrandIndex(), 0x0Au);

  std::memcpy(cache.vendor, "AuthenticAMD", 12);
  cache.signature = 0x00100F00;  // family 0xF + extended family 1
  EXPECT_TRUE(CpuIsAmd());
  EXPECT_TRUE(CpuIsFamily15());
  EXPECT_FALSE(CpuHasHyperThreading());
  EXPECT_EQ(CpuGetLogicalCount(), 1u);
  cache.signature = 0x000306A9;  // family 6
  EXPECT_FALSE(CpuIsFamily15());
}

TEST(CpuFeatures, VendorCopiesCheckTheirSize) {
  plat::testing::ScopedMachine machine;
  CpuReadFeatures();
  char vendor[13] = {};
  EXPECT_FALSE(CpuGetVendor(vendor, 11));
  EXPECT_FALSE(CpuGetVendor(nullptr, 12));
  ASSERT_TRUE(CpuGetVendor(vendor, 12));
  EXPECT_FALSE(CpuGetVendorText(vendor, 12));
  ASSERT_TRUE(CpuGetVendorText(vendor, 13));
  EXPECT_EQ(std::strlen(vendor), 12u);
  EXPECT_EQ(CpuIsIntel(), std::string(vendor) == "GenuineIntel");
  EXPECT_EQ(CpuIsAmd(), std::string(vendor) == "AuthenticAMD");
}

TEST(CpuFeatures, ProcessorCount) { EXPECT_GE(CpuGetProcessorCount(), 1u); }

}  // namespace
