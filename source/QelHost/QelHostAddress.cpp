#include "source/QelHost/QelHostInternal.h"

namespace {

struct HostAddressState {
  std::uint32_t serverIndex = 0;
  std::uint32_t addressBase = 0;
  int indexPosition = 3;     // the base 0
  std::uint32_t parentPart = 0;
  QelHandle serverHandle{};  // the library's own server handle
  plat::ProcessIdentity instanceProcess{};  // set while the instance is open
};

HostAddressState g_address;

std::uint32_t LocalAddress() {
  const int shift = ((g_address.indexPosition + 1) * 8) % 32;
  return (g_address.parentPart << shift) | g_address.serverIndex;
}

void RefreshServerHandle() {
  g_address.serverHandle.server = LocalAddress();
  g_address.serverHandle.tag = kQelTagServer;
  g_address.serverHandle.self = reinterpret_cast<std::uint64_t>(&g_address.serverHandle);
}

// The position just below the base's lowest non-zero byte.
int IndexPositionOf(std::uint32_t base) {
  if (base == 0) return 3;
  int lowest = 0;
  while (((base >> (8 * lowest)) & 0xFFu) == 0) ++lowest;
  return lowest - 1;
}

}  // namespace

void HostSetServerIndex(std::uint32_t index) {
  g_address.serverIndex = index;
  RefreshServerHandle();
}

void HostSetAddressBase(std::uint32_t base) {
  g_address.addressBase = base;
  g_address.indexPosition = IndexPositionOf(base);
  RefreshServerHandle();
}

std::uint32_t HostGetServerIndex() { return g_address.serverIndex; }
std::uint32_t HostGetLocalAddress() { return LocalAddress(); }
int HostGetIndexPosition() { return g_address.indexPosition; }

const QelHandle* HostGetLocalServerHandle() {
  RefreshServerHandle();
  return &g_address.serverHandle;
}

bool HostIsLocalAddress(std::uint32_t address) { return address == LocalAddress(); }

bool HostIsOnThisBoard(std::uint32_t address) {
  return (address >> 24) == 0 || ((address >> 16) & 0xFFu) == ((LocalAddress() >> 16) & 0xFFu);
}

const plat::ProcessIdentity& HostOwnProcess() {
  static const plat::ProcessIdentity own = plat::current_process();
  return own;
}

void HostNewInstance() { g_address.instanceProcess = HostOwnProcess(); }

void HostCloseInstance() { g_address.instanceProcess = {}; }

QelStatus HOSTGETPORTADDRESS(std::uint32_t port, std::uint32_t* address) {
  if (address == nullptr) return HostNullArgument(2);
  const int position = g_address.indexPosition;
  if (position < 0) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTGETPORTADDRESS => Server not found");
    return kHostServerNotFound;
  }
  const std::uint32_t shift = 8u * static_cast<std::uint32_t>(position);
  *address = (LocalAddress() & ~(0xFFu << shift)) | ((port & 0xFFu) << shift);
  return QEL_OK;
}
