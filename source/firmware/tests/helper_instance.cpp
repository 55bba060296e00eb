// A process that opens the server driver's instance itself, as a board
// management program does, without the SDK; driven line by line:
//   open <mode> | close          the instance                              -> "open <s>" | "close <s>"
//   view                         what the instance holds                   -> "view <open> <result> <mode> <port server> <events> <manager range> <buffer range>"
//   counter                      the shared open counter                   -> "counter <n>"
//   preload <path>               loads a library first (a module in place of "Ormel.VKM") -> "preload <1 when loaded>"
//   fields                       the module's field count through the binding -> "fields <s> <n>"
//   version                      the module's interface version             -> "version <s> <v>"
//   ext                          the board library's slots 8, 9, 14 and EEPROM read -> "ext <s> <s> <s> <s>"
//   failstep <n>                 installation step n (1-based) fails        -> "failstep"
//   bufferstep                   installation step 3 registers buffer commands 9000-9037 -> "bufferstep"
//   releases                     every release step records itself          -> "releases"
//   order                        the release steps that ran, in order       -> "order <indexes>"
//   apievents                    the event pool and message wrappers with the SDK's lock bound and held
//                                -> "apievents <release> <again> <foreign> <alloc answer> <wait> <holder after wait>"
//   apimessages                  a request posted to this server and its answer, through the message wrappers
//                                -> "apimessages <post> <wait> <get> <answer status> <payload word> <thread error> <free>"
#include <cstring>
#include <sstream>
#include <string>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelExtInterface.h"
#include "firmware/win32/QelMemBinding.h"
#include "firmware/win32/QelVkmLoader.h"
#include "firmware/win32/QuilletShared.h"
#include "qellib/QelLog.h"
#include "platform/win/library.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/HostFirmwareInternal.h"

namespace {

std::string g_order;

QelStatus FailingStep(std::uint32_t) { return 0x4C00046; }

QelStatus BufferStep(std::uint32_t) {
  static const QelFuncHandler table[38] = {};
  return QelManNewFuncHandler(9000, 9037, table, &HostFirmwareTokensOf().buffer);
}

template <int Index>
QelStatus Recorded() {
  g_order += " " + std::to_string(Index + 1);
  return QEL_OK;
}

template <int... Indexes>
void RecordReleases(std::integer_sequence<int, Indexes...>) {
  ((UninstallSteps()[Indexes].release = &Recorded<Indexes>), ...);
}

std::string View() {
  const InstanceView view = HostFirmwareInstanceView();
  const HostFirmwareTokens& tokens = HostFirmwareTokensOf();
  return "view " + std::to_string(view.open) + " " + std::to_string(view.openResult) + " " +
         std::to_string(view.serverMode) + " " + std::to_string(view.portServerRegistered) + " " +
         std::to_string(view.eventsCreated) + " " + std::to_string(tokens.manager != nullptr) + " " +
         std::to_string(tokens.buffer != nullptr);
}

std::string ApiEvents() {
  LoadQelLog();
  if (plat::load_library("QelApi.dll") == nullptr || !LoadQelMem("Quillet.DLL")) return "apievents nosdk";
  BindApiLocker();
  QELMANINITEVENTS();
  if (!ApiLockIsBound() || !ApiLock()) return "apievents nolock";
  plat::Handle event = plat::kNullHandle;
  QelManGetEvent(&event);
  const QelStatus released = QelManReleaseEvent(event);
  const QelStatus again = QelManReleaseEvent(event);
  const QelStatus foreign = QelManReleaseEvent(event + 1000);
  QelMessageHeader* request = nullptr;
  QelMessageHeader* answer = nullptr;
  HOSTALLOCMSG(sizeof(QelMessageHeader), &request);
  const QelStatus alloc = QelManAllocAnswer(request, 40, &answer);
  HOSTFREEMSG(answer);
  HOSTFREEMSG(request);
  QelManGetEvent(&event);
  const QelStatus wait = QelManWaitEvent(event, 50);
  const bool holder = ApiCallerHoldsLock();
  ApiUnlock();
  QelManFreeEvents();
  return "apievents " + std::to_string(released) + " " + std::to_string(again) + " " + std::to_string(foreign) + " " +
         std::to_string(alloc) + " " + std::to_string(wait) + " " + std::to_string(holder);
}

// Answers command 4242 with the request's word doubled and an explanation.
QelStatus Doubler(QelMessageHeader* request) {
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = QelManAllocAnswer(request, sizeof(QelMessageHeader) + 4, &answer); status != QEL_OK)
    return status;
  std::uint32_t word = 0;
  std::memcpy(&word, request + 1, sizeof word);
  word *= 2;
  std::memcpy(answer + 1, &word, sizeof word);
  answer->command = 0x4C00046;
  QelManSetThreadError(answer->command, "doubled");
  return QelManSendAnswer(answer);
}

std::string ApiMessages() {
  LoadQelLog();
  if (plat::load_library("QelApi.dll") == nullptr || !LoadQelMem("Quillet.DLL")) return "apimessages nosdk";
  BindApiLocker();
  QELMANINITEVENTS();
  HostSetServerIndex(0x01DE0100);
  HostSetAddressBase(0x01DE0100);
  const QelFuncHandler table[1] = {Doubler};
  HostFuncHandler* token = nullptr;
  QelManNewFuncHandler(4242, 4242, table, &token);
  if (!ApiLock()) return "apimessages nolock";
  plat::Handle event = plat::kNullHandle;
  QelManGetEvent(&event);
  QelMessageHeader* request = nullptr;
  QelManAllocMsg(sizeof(QelMessageHeader) + 4, &request);
  request->destination = HostGetLocalAddress();
  request->command = 4242;
  const std::uint32_t word = 21;
  std::memcpy(request + 1, &word, sizeof word);
  HostTransaction* transaction = nullptr;
  const QelStatus post = QelManPostMsg(request, event, &transaction);
  QelManFreeMsg(request);
  const QelStatus wait = QelManWaitEvent(event, 2000);
  QelMessageHeader* answer = nullptr;
  const QelStatus get = QelManGetAnswer(transaction, &answer);
  std::uint32_t payload = 0;
  if (answer != nullptr) std::memcpy(&payload, answer + 1, sizeof payload);
  std::uint32_t code = 0;
  const char* error = QelManGetThreadError(&code);
  const std::string result = "apimessages " + std::to_string(post) + " " + std::to_string(wait) + " " +
                             std::to_string(get) + " " + std::to_string(answer ? answer->command : 0) + " " +
                             std::to_string(payload) + " " + (error ? error : "-") + " " +
                             std::to_string(QelManFreeAnswer(transaction));
  if (answer != nullptr) QelManFreeMsg(answer);
  QelManReleaseEvent(event);
  ApiUnlock();
  ManServerFree(&token);
  QelManFreeEvents();
  return result;
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return "open " + std::to_string(HostFirmwareInitInstance(helper::Number(in)));
  if (command == "close") return "close " + std::to_string(HostFirmwareCloseInstance());
  if (command == "view") return View();
  if (command == "counter") return "counter " + std::to_string(QuilletGetSharedData()->HostOpenCounter);
  if (command == "preload") {
    std::string path;
    in >> path;
    return "preload " + std::to_string(plat::load_library(path.c_str()) != nullptr);
  }
  if (command == "fields") {
    std::uint32_t count = 0;
    const std::uint32_t status = QelGetNbEepromField(0, 0, 0, &count);
    return "fields " + std::to_string(status) + " " + std::to_string(count);
  }
  if (command == "version") {
    std::uint32_t version = 0;
    const std::uint32_t status = QelGetInterfaceVersion(&version);
    return "version " + std::to_string(status) + " " + std::to_string(version);
  }
  if (command == "ext") {
    std::uint8_t byte = 0;
    return "ext " + std::to_string(ExtSlot8(0, 0, 0, 0)) + " " + std::to_string(ExtSlot9(0, 0, 0, 0)) + " " +
           std::to_string(ExtSlot14(0, 0, 0, 0)) + " " + std::to_string(ExtEepromRead(0, 0, 0, &byte, 1));
  }
  if (command == "failstep") {
    InstallSteps()[helper::Number(in) - 1].run = FailingStep;
    return "failstep";
  }
  if (command == "bufferstep") {
    InstallSteps()[2].run = BufferStep;
    return "bufferstep";
  }
  if (command == "releases") {
    RecordReleases(std::make_integer_sequence<int, kUninstallStepCount>{});
    return "releases";
  }
  if (command == "order") return "order" + g_order;
  if (command == "apievents") return ApiEvents();
  if (command == "apimessages") return ApiMessages();
  return "unknown " + command;
}

}  // namespace

int main() {
  // As the library's load hook does.
  FillManagerInterface(QuilletManagerInterface());
  QelApiInstallDispatch();
  return helper::Serve(Run);
}
