// The display support library as its binder sees it: registration with its
// knobs, memory-only surfaces, locks, and the display functions' answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/support/dorv_entries.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/library.h"
#include "platform/win/profile.h"

namespace {

using namespace dorv;

class DorvLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = plat::load_library(kLibraryName);
    ASSERT_NE(module_, nullptr);
    register_ = reinterpret_cast<DorvRegisterInterfaceExFn>(plat::get_proc_address(module_, "RegisterInterfaceEx"));
    unregister_ =
        reinterpret_cast<DorvUnregisterInterfaceExFn>(plat::get_proc_address(module_, "UnregisterInterfaceEx"));
    ASSERT_TRUE(register_ && unregister_);
  }
  void TearDown() override { plat::free_library(module_); }
  void Knob(const char* key, const char* value) {
    plat::write_private_profile_string("Knobs", key, value, machine_.path("dorv.ini").c_str());
  }
  std::uint32_t Register() {
    record_ = DorvInterface{};
    record_.sizeAndVersion = kDorvInterfaceSize;
    return register_(&record_);
  }
  template <typename Fn>
  Fn Slot(std::size_t slot) {
    return reinterpret_cast<Fn>(record_.functions[slot]);
  }

  plat::testing::ScopedMachine machine_;
  plat::ModuleHandle module_ = nullptr;
  DorvRegisterInterfaceExFn register_ = nullptr;
  DorvUnregisterInterfaceExFn unregister_ = nullptr;
  DorvInterface record_{};
};

TEST_F(DorvLibrary, SurfacesLieInMemoryWithLinesOf32PixelsOrInRegisteredMemory) {
  ASSERT_EQ(Register(), kDorvOk);
  EXPECT_EQ(record_.sizeAndVersion, kDorvInterfaceVersion);
  std::uint64_t surface = 0;
  ASSERT_EQ(Slot<DorvCreateSurfaceFn>(kDorvCreateSurface)(0x4001, 11, 33, 4, 0, &surface), kDorvOk);  // RGB888
  std::uint32_t pitch = 0, kind = 7;
  ASSERT_EQ(Slot<DorvGetWordFn>(kDorvGetSurfacePitch)(surface, &pitch), kDorvOk);
  EXPECT_EQ(pitch, 64u * 3);
  ASSERT_EQ(Slot<DorvGetWordFn>(kDorvGetSurfaceKind)(surface, &kind), kDorvOk);
  EXPECT_EQ(kind, kDorvSurfacePlain);
  std::uint64_t first = 0;
  ASSERT_EQ(Slot<DorvLockSurfaceFn>(kDorvLockSurface)(surface, &first), kDorvOk);
  std::memset(reinterpret_cast<void*>(first), 0x5A, pitch * 4);  // the whole surface is usable
  EXPECT_EQ(Slot<DorvHandleFn>(kDorvUnlockSurface)(surface), kDorvOk);
  EXPECT_EQ(Slot<DorvHandleFn>(kDorvUnlockSurface)(surface), kDorvErrorNotLocked);
  EXPECT_EQ(Slot<DorvHandleFn>(kDorvReleaseSurface)(surface), kDorvOk);
  EXPECT_EQ(Slot<DorvHandleFn>(kDorvReleaseSurface)(surface), kDorvErrorBadObject);

  // Registered memory holds a packed surface from its first byte.
  std::vector<std::uint8_t> memory(10 * 2 * 3);
  std::uint64_t registered = 0;
  ASSERT_EQ(Slot<DorvRegisterMemoryFn>(kDorvRegisterMemory)(reinterpret_cast<std::uintptr_t>(memory.data()),
                                                            memory.size(), &registered),
            kDorvOk);
  std::uint64_t overlay = 0;
  ASSERT_EQ(Slot<DorvCreateOverlayFn>(kDorvCreateOverlay)(0, &overlay), kDorvOk);
  EXPECT_EQ(Slot<DorvCreateOverlaySurfaceFn>(kDorvCreateOverlaySurface)(overlay, 0x4002, 12, 10, 4, registered,
                                                                          &surface),
            kDorvErrorMemoryTooSmall);
  ASSERT_EQ(Slot<DorvCreateOverlaySurfaceFn>(kDorvCreateOverlaySurface)(overlay, 0x4002, 12, 10, 3, registered,
                                                                          &surface),
            kDorvOk);
  ASSERT_EQ(Slot<DorvGetWordFn>(kDorvGetSurfacePitch)(surface, &pitch), kDorvOk);
  EXPECT_EQ(pitch, 20u);
  ASSERT_EQ(Slot<DorvLockSurfaceFn>(kDorvLockSurface)(surface, &first), kDorvOk);
  EXPECT_EQ(first, reinterpret_cast<std::uintptr_t>(memory.data()));
  EXPECT_EQ(Slot<DorvCreateSurfaceFn>(kDorvCreateSurface)(0, 101, 4, 4, 0, &surface), kDorvErrorUnsupportedFormat);
  EXPECT_EQ(Slot<DorvCreateSurfaceFn>(kDorvCreateSurface)(0, 1, 0, 4, 0, &surface), kDorvErrorInvalidParams);
  char text[64];
  ASSERT_EQ(Slot<DorvGetErrorTextFn>(kDorvGetErrorText)(kDorvErrorUnsupportedFormat, text, sizeof text), kDorvOk);
  EXPECT_EQ(std::string(text), "Dorv error 1016: display format not supported");

  record_.sizeAndVersion = kDorvInterfaceSize;
  EXPECT_EQ(unregister_(&record_), kDorvOk);
  EXPECT_EQ(record_.functions[kDorvCreateSurface], nullptr);
}

TEST_F(DorvLibrary, KnobsChangeWhatTheLibraryAnswers) {
  Knob("RegisterStatus", "1010");
  EXPECT_EQ(Register(), kDorvErrorNoHardware);
  EXPECT_EQ(record_.functions[kDorvCreateSurface], nullptr);
  Knob("RegisterStatus", "0");
  Knob("InterfaceVersion", "99");
  Knob("MissingSlots", "13, 27");
  Knob("OverlayStatus", "0x43C");
  Knob("SurfaceKind", "1");
  ASSERT_EQ(Register(), kDorvOk);
  EXPECT_EQ(record_.sizeAndVersion, 99u);
  EXPECT_EQ(record_.functions[kDorvGetSurfacePitch], nullptr);
  EXPECT_EQ(record_.functions[kDorvRegisterMemory], nullptr);
  EXPECT_NE(record_.functions[kDorvLockSurface], nullptr);
  std::uint64_t overlay = 0, surface = 0;
  ASSERT_EQ(Slot<DorvCreateOverlayFn>(kDorvCreateOverlay)(3, &overlay), kDorvOk);
  EXPECT_EQ(Slot<DorvCreateOverlaySurfaceFn>(kDorvCreateOverlaySurface)(overlay, 0, 1, 8, 8, 0, &surface),
            kDorvErrorNoOverlay);
  ASSERT_EQ(Slot<DorvCreateSurfaceFn>(kDorvCreateSurface)(0, 1, 8, 8, 0, &surface), kDorvOk);
  std::uint32_t kind = 0;
  ASSERT_EQ(Slot<DorvGetWordFn>(kDorvGetSurfaceKind)(surface, &kind), kDorvOk);
  EXPECT_EQ(kind, kDorvSurfaceFlipping);
  Knob("InterfaceSize", "64");
  EXPECT_EQ(Register(), kDorvErrorInvalidParams);
}

}  // namespace
