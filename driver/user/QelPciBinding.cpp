#include "driver/user/QelPciBinding.h"

#include <cstdio>
#include <mutex>

#include "platform/support/qelpci.h"
#include "platform/win/library.h"

namespace {

struct QelPciEntries {
  QelPciGetDriverVersionFn getDriverVersion = nullptr;
  QelPciIsPciBiosFn isPciBios = nullptr;
  QelPciGetByteFn getByte = nullptr;
  QelPciGetWordFn getWord = nullptr;
  QelPciGetDwordFn getDword = nullptr;
  QelPciPutByteFn putByte = nullptr;
  QelPciPutWordFn putWord = nullptr;
  QelPciPutDwordFn putDword = nullptr;
  QelPciFindDeviceFn findDevice = nullptr;
  QelPciFindClassCodeFn findClassCode = nullptr;
  QelPciIsDisplayDeviceFn isDisplayDevice = nullptr;
  QelPciSetBusNumberFn setBusNumber = nullptr;
  QelPciGetAddrLenFn getAddrLen = nullptr;
  QelPciGetDataFn getData = nullptr;
};

struct QelPciBindingState {
  std::mutex lock;
  plat::ModuleHandle library = nullptr;
  bool loadedOnce = false;
  char owner[64] = "QelPci Loader";
  QelPciEntries entries;
};

QelPciBindingState& Binding() {
  static QelPciBindingState state;
  return state;
}

template <class Fn>
void Resolve(plat::ModuleHandle library, const char* name, Fn* slot) {
  *slot = reinterpret_cast<Fn>(plat::get_proc_address(library, name));
}

void ResolveAll(plat::ModuleHandle library, QelPciEntries* e) {
  Resolve(library, "QelPciGetDriverVersion", &e->getDriverVersion);
  Resolve(library, "QelPciIsPciBios", &e->isPciBios);
  Resolve(library, "QelPciGetByte", &e->getByte);
  Resolve(library, "QelPciGetWord", &e->getWord);
  Resolve(library, "QelPciGetDword", &e->getDword);
  Resolve(library, "QelPciPutByte", &e->putByte);
  Resolve(library, "QelPciPutWord", &e->putWord);
  Resolve(library, "QelPciPutDword", &e->putDword);
  Resolve(library, "QelPciFindDevice", &e->findDevice);
  Resolve(library, "QelPciFindClassCode", &e->findClassCode);
  Resolve(library, "QelPciIsDisplayDevice", &e->isDisplayDevice);
  Resolve(library, "QelPciSetBusNumber", &e->setBusNumber);
  Resolve(library, "QelPciGetAddrLen", &e->getAddrLen);
  Resolve(library, "QelPciGetData", &e->getData);
}

// A copy of the entries: a call never runs under the binding's lock.
QelPciEntries Entries() {
  QelPciBindingState& state = Binding();
  std::lock_guard guard(state.lock);
  return state.entries;
}

}  // namespace

void QelPciLoad(const char* owner) {
  QelPciBindingState& state = Binding();
  std::lock_guard guard(state.lock);
  if (owner != nullptr) std::snprintf(state.owner, sizeof state.owner, "%s", owner);
  if (state.loadedOnce) return;
  // Set before the load: a library that cannot be loaded is not tried again
  // until the unload.
  state.loadedOnce = true;
  state.library = plat::load_library("QelPci.dll");
  if (state.library != nullptr) ResolveAll(state.library, &state.entries);
}

void QelPciUnload() {
  QelPciBindingState& state = Binding();
  std::lock_guard guard(state.lock);
  if (state.library != nullptr) plat::free_library(state.library);
  state.library = nullptr;
  state.entries = QelPciEntries{};
  state.loadedOnce = false;
}

bool QelPciIsBound() {
  QelPciBindingState& state = Binding();
  std::lock_guard guard(state.lock);
  return state.library != nullptr;
}

std::uint32_t QelPciGetDriverVersion() {
  auto fn = Entries().getDriverVersion;
  return fn != nullptr ? fn() : 0;
}

std::uint32_t QelPciIsPciBios() {
  auto fn = Entries().isPciBios;
  return fn != nullptr ? fn() : 0;
}

std::uint8_t QelPciGetByte(std::uint32_t address, std::uint16_t reg) {
  auto fn = Entries().getByte;
  return fn != nullptr ? fn(address, reg) : 0;
}

std::uint16_t QelPciGetWord(std::uint32_t address, std::uint16_t reg) {
  auto fn = Entries().getWord;
  return fn != nullptr ? fn(address, reg) : 0xFFFF;
}

std::uint32_t QelPciGetDword(std::uint32_t address, std::uint16_t reg) {
  auto fn = Entries().getDword;
  return fn != nullptr ? fn(address, reg) : 0;
}

std::uint8_t QelPciPutByte(std::uint32_t address, std::uint16_t reg, std::uint8_t value) {
  auto fn = Entries().putByte;
  return fn != nullptr ? fn(address, reg, value) : 1;
}

std::uint8_t QelPciPutWord(std::uint32_t address, std::uint16_t reg, std::uint16_t value) {
  auto fn = Entries().putWord;
  return fn != nullptr ? fn(address, reg, value) : 1;
}

std::uint8_t QelPciPutDword(std::uint32_t address, std::uint16_t reg, std::uint32_t value) {
  auto fn = Entries().putDword;
  return fn != nullptr ? fn(address, reg, value) : 1;
}

std::uint32_t QelPciFindDevice(std::uint16_t vendor, std::uint16_t device, std::uint16_t index) {
  auto fn = Entries().findDevice;
  return fn != nullptr ? fn(vendor, device, index) : 0;
}

std::uint32_t QelPciFindClassCode(std::uint32_t classCode, std::uint16_t index) {
  auto fn = Entries().findClassCode;
  return fn != nullptr ? fn(classCode, index) : 0;
}

std::uint32_t QelPciIsDisplayDevice(std::uint16_t location) {
  auto fn = Entries().isDisplayDevice;
  return fn != nullptr ? fn(location) : 0;
}

std::uint32_t QelPciSetBusNumber(std::uint8_t lastBus) {
  auto fn = Entries().setBusNumber;
  return fn != nullptr ? fn(lastBus) : 0;
}

std::uint32_t QelPciGetAddrLen(std::uint32_t address, std::uint8_t bar) {
  auto fn = Entries().getAddrLen;
  return fn != nullptr ? fn(address, bar) : 0;
}

std::uint32_t QelPciGetData(std::uint32_t address, std::uint16_t offset, std::uint16_t length, void* data) {
  auto fn = Entries().getData;
  return fn != nullptr ? fn(address, offset, length, data) : 1;
}
