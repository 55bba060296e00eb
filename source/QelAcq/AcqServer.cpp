// The server side of acquisition commands 4000-4029.
#include "source/QelAcq/AcqServer.h"

#include <array>
#include <cstring>

#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/acqmonitor.h"

namespace {

constexpr std::uint32_t kAt = 36;  // the payload after the header
constexpr std::uint32_t kHandle = sizeof(QelHandle);
constexpr std::uint32_t kSelfOffset = kAt + 24;
constexpr std::uint32_t kNameField = 16;

HostFuncHandler* g_token = nullptr;

// One request as the handlers read it: every field copied out, and a field
// that the request does not reach makes the request short.
class Request {
 public:
  explicit Request(const QelMessageHeader* message)
      : bytes_(reinterpret_cast<const std::uint8_t*>(message)), size_(message->size) {}
  std::uint32_t size() const { return size_; }
  bool has(std::uint32_t end) const { return end <= size_; }
  const std::uint8_t* at(std::uint32_t offset) const { return bytes_ + offset; }
  template <typename T>
  T read(std::uint32_t offset) const {
    T value{};
    if (has(offset + static_cast<std::uint32_t>(sizeof(T)))) std::memcpy(&value, bytes_ + offset, sizeof(T));
    return value;
  }

 private:
  const std::uint8_t* bytes_;
  std::uint32_t size_;
};

QelStatus Short(std::uint32_t argument) { return kQelModuleAcquisition | (argument << 8) | 0x32; }

// The first argument (1-based) whose end the request does not reach; 0 when all do.
template <std::size_t N>
std::uint32_t MissingArgument(const Request& r, const std::array<std::uint32_t, N>& ends) {
  for (std::size_t n = 0; n < N; ++n)
    if (!r.has(ends[n])) return static_cast<std::uint32_t>(n + 1);
  return 0;
}

// The object a request names: one of this process's device handles or
// monitor handles, found by the pointer in the handle's last eight bytes.
QelHandle* ObjectOf(const Request& r) {
  const std::uint64_t self = r.read<std::uint64_t>(kSelfOffset);
  if (self == 0) return nullptr;
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t device = 0; device < kAcqSlotsPerBoard; ++device)
      if (QelHandle* own = AcqGetHandle(board, device); own != nullptr && reinterpret_cast<std::uint64_t>(own) == self)
        return own;
  return AcqMonitorHandleAt(self);
}

// One command: the answer first (its failure is returned, nothing sent),
// the operation with the API lock released, the status into word 7.
template <typename Operation>
QelStatus Serve(QelMessageHeader* message, std::uint32_t payload, Operation&& operation) {
  QelMessageHeader* answer = nullptr;
  const QelStatus allocated = QelManAllocAnswer(message, kAt + payload, &answer);
  if (allocated != QEL_OK) return allocated;
  auto* out = reinterpret_cast<std::uint8_t*>(answer) + kAt;
  std::memset(out, 0, payload);
  const Request request(message);
  const std::uint8_t depth = ApiUnlockThread();
  const QelStatus status = operation(request, out);
  ApiRelockThread(depth);
  answer->command = status;
  return QelManSendAnswer(answer);
}

// A command on an acquisition handle whose further arguments end at `ends`
// (the handle itself is argument 1).
template <std::size_t N, typename Operation>
QelStatus OnDevice(QelMessageHeader* message, std::uint32_t payload, const std::array<std::uint32_t, N>& ends,
                   Operation&& operation) {
  return Serve(message, payload, [&](const Request& r, std::uint8_t* out) -> QelStatus {
    if (!r.has(kAt + kHandle)) return Short(1);
    if (const std::uint32_t missing = MissingArgument(r, ends); missing != 0) return Short(missing + 1);
    QelHandle* handle = ObjectOf(r);
    if (handle == nullptr) return kAcqApiBadHandle;
    return operation(r, handle, out);
  });
}

// A command on a board's server handle: its board, or the handle's status.
template <typename Operation>
QelStatus OnBoard(QelMessageHeader* message, std::uint32_t payload, std::uint32_t end, Operation&& operation) {
  return Serve(message, payload, [&](const Request& r, std::uint8_t* out) -> QelStatus {
    if (!r.has(kAt + kHandle)) return Short(1);
    if (!r.has(end)) return Short(2);
    const QelHandle server = r.read<QelHandle>(kAt);
    std::uint32_t index = 0;
    if (const QelStatus status = IsHandleValid(&server, &index); status != QEL_OK) return status;
    return operation(r, server, index - 1, out);
  });
}

template <typename T>
void Put(std::uint8_t* out, const T& value) {
  std::memcpy(out, &value, sizeof value);
}

QelStatus CmdGetCount(QelMessageHeader* m) {
  return OnBoard(m, 4, kAt + kHandle, [](const Request&, const QelHandle&, std::uint32_t board, std::uint8_t* out) {
    std::uint32_t count = 0;
    const QelStatus status = AcqGetCount(board, &count);
    Put(out, count);
    return status;
  });
}

QelStatus CmdCreateHandle(QelMessageHeader* m) {
  return OnBoard(m, kHandle, 72, [](const Request& r, const QelHandle& server, std::uint32_t board, std::uint8_t* out) {
    QelHandle* made = nullptr;
    const QelStatus status = AcqCreateHandle(server.server, board, r.read<std::uint32_t>(68), &made);
    if (made != nullptr) std::memcpy(out, made, kHandle);
    return status;
  });
}

template <QelStatus (*Operation)(QelHandle*)>
QelStatus CmdHandleOnly(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 0>{},
                  [](const Request&, QelHandle* h, std::uint8_t*) { return Operation(h); });
}

// 4004 and 4005: as many answer bytes as the id's low 16 bits, within the bound.
template <QelStatus (*Operation)(QelHandle*, std::uint32_t, void*)>
QelStatus CmdGetValue(QelMessageHeader* m) {
  const std::uint32_t id = Request(m).read<std::uint32_t>(68);
  const std::uint32_t size = (id & 0xFFFFu) <= kAcqLargestAnswer ? id & 0xFFFFu : 0;
  return OnDevice(m, size, std::array<std::uint32_t, 1>{72}, [size](const Request& r, QelHandle* h, std::uint8_t* out) {
    const std::uint32_t asked = r.read<std::uint32_t>(68);
    if (size != (asked & 0xFFFFu)) return kQelModuleAcquisition | (((asked >> 16) & 0xFFFu) << 8) | 0x28;
    return Operation(h, asked, out);
  });
}

QelStatus CmdSetPrm(QelMessageHeader* m) {
  const std::uint32_t size = Request(m).read<std::uint32_t>(68) & 0xFFFFu;
  return OnDevice(m, 0, std::array<std::uint32_t, 2>{72, 72 + size},
                  [](const Request& r, QelHandle* h, std::uint8_t*) { return AcqSetPrm(h, r.read<std::uint32_t>(68), r.at(72)); });
}

template <QelStatus (*Operation)(QelHandle*, const QelHandle*, const QelHandle*, std::uint32_t)>
QelStatus CmdCamVic(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 3>{100, 132, 136}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    const QelHandle vic = r.read<QelHandle>(68), cam = r.read<QelHandle>(100);
    return Operation(h, &vic, &cam, r.read<std::uint32_t>(132));
  });
}

QelStatus CmdUnlockCamVic(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 2>{100, 132}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    const QelHandle vic = r.read<QelHandle>(68), cam = r.read<QelHandle>(100);
    return AcqUnlockCamVic(h, &vic, &cam);
  });
}

template <QelStatus (*Operation)(QelHandle*, const QelHandle*, std::uint32_t)>
QelStatus CmdLut(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 2>{100, 104}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    const QelHandle lut = r.read<QelHandle>(68);
    return Operation(h, &lut, r.read<std::uint32_t>(100));
  });
}

template <QelStatus (*Operation)(QelHandle*, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t)>
QelStatus CmdPrivate(QelMessageHeader* m) {
  const Request peek(m);
  const std::uint32_t inSize = peek.read<std::uint32_t>(72), outSize = peek.read<std::uint32_t>(76);
  const bool bounded = outSize <= kAcqLargestAnswer && inSize <= kAcqLargestAnswer;
  return OnDevice(m, bounded ? outSize : 0, std::array<std::uint32_t, 4>{72, 76, 80, 80 + (bounded ? inSize : 0)},
                  [=](const Request& r, QelHandle* h, std::uint8_t* out) -> QelStatus {
                    if (!bounded) return kQelModuleAcquisition | 0x42A;
                    return Operation(h, r.read<std::uint32_t>(68), inSize != 0 ? r.at(80) : nullptr, inSize,
                                     outSize != 0 ? out : nullptr, outSize);
                  });
}

QelStatus CmdRegisterCallback(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 4>{100, 108, 116, 120}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    const QelHandle client = r.read<QelHandle>(68);
    return AcqRegisterCallback(h, r.read<std::uint32_t>(116), r.read<std::uint64_t>(100), r.read<std::uint64_t>(108),
                               &client);
  });
}

QelStatus CmdUnregisterCallback(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 1>{76}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    return AcqUnregisterCallback(h, r.read<std::uint64_t>(68));
  });
}

QelStatus CmdCheckBoardState(QelMessageHeader* m) {
  return Serve(m, 0, [](const Request& r, std::uint8_t*) -> QelStatus {
    if (r.size() <= kAt) return AcqCheckBoardState(0);
    if (!r.has(kAt + kHandle)) return Short(1);
    const QelHandle server = r.read<QelHandle>(kAt);
    std::uint32_t index = 0;
    if (const QelStatus status = IsHandleValid(&server, &index); status != QEL_OK) return status;
    return AcqCheckBoardState(index - 1);
  });
}

// A name field of up to 16 bytes, always terminated here.
std::array<char, kNameField + 1> NameAt(const Request& r, std::uint32_t offset) {
  std::array<char, kNameField + 1> name{};
  const std::uint32_t available = r.size() > offset ? r.size() - offset : 0;
  std::memcpy(name.data(), r.at(offset), std::min(available, kNameField));
  return name;
}

QelStatus CmdGetCameraControl(QelMessageHeader* m) {
  return OnDevice(m, 4, std::array<std::uint32_t, 1>{69}, [](const Request& r, QelHandle* h, std::uint8_t* out) {
    std::uint32_t value = 0;
    const QelStatus status = AcqGetCameraControl(h, NameAt(r, 68).data(), &value);
    Put(out, value);
    return status;
  });
}

QelStatus CmdSetCameraControl(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 2>{84, 88}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    return AcqSetCameraControl(h, NameAt(r, 68).data(), r.read<std::uint32_t>(84));
  });
}

QelStatus CmdSoftwareTrigger(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 1>{72}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    return AcqSoftwareTrigger(h, r.read<std::uint32_t>(68));
  });
}

QelStatus CmdResetTimeStamp(QelMessageHeader* m) {
  return OnDevice(m, 12, std::array<std::uint32_t, 0>{}, [](const Request&, QelHandle* h, std::uint8_t* out) {
    return AcqResetTimeStamp(h, reinterpret_cast<std::uint32_t*>(out));
  });
}

template <QelStatus (*Operation)(QelHandle*, std::uint32_t*)>
QelStatus CmdCreateBuffer(QelMessageHeader* m) {
  return OnDevice(m, 4, std::array<std::uint32_t, 0>{}, [](const Request&, QelHandle* h, std::uint8_t* out) {
    std::uint32_t number = 0;
    const QelStatus status = Operation(h, &number);
    Put(out, number);
    return status;
  });
}

template <QelStatus (*Operation)(QelHandle*, std::uint32_t)>
QelStatus CmdFreeBuffer(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 1>{72},
                  [](const Request& r, QelHandle* h, std::uint8_t*) { return Operation(h, r.read<std::uint32_t>(68)); });
}

template <QelStatus (*Operation)(QelHandle*, std::uint32_t, QelHandle*, std::uint64_t)>
QelStatus CmdInternalData(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 3>{72, 104, 112}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    QelHandle buffer = r.read<QelHandle>(72);
    return Operation(h, r.read<std::uint32_t>(68), &buffer, r.read<std::uint64_t>(104));
  });
}

template <QelStatus (*Operation)(QelHandle*, std::uint32_t, QelHandle*)>
QelStatus CmdOnboardData(QelMessageHeader* m) {
  return OnDevice(m, 0, std::array<std::uint32_t, 2>{72, 104}, [](const Request& r, QelHandle* h, std::uint8_t*) {
    QelHandle buffer = r.read<QelHandle>(72);
    return Operation(h, r.read<std::uint32_t>(68), &buffer);
  });
}

QelStatus CmdSerialPortName(QelMessageHeader* m) {
  return OnDevice(m, 256, std::array<std::uint32_t, 0>{}, [](const Request&, QelHandle* h, std::uint8_t* out) {
    return AcqGetSerialPortName(h, 256, reinterpret_cast<char*>(out));
  });
}

constexpr std::array<QelFuncHandler, kAcqLastCommand - kAcqFirstCommand + 1> kTable = {
    CmdGetCount,                                   // 4000
    CmdCreateHandle,                               // 4001
    CmdHandleOnly<AcqReleaseHandle>,               // 4002
    CmdHandleOnly<AcqReset>,                       // 4003
    CmdGetValue<AcqGetCap>,                        // 4004
    CmdGetValue<AcqGetPrm>,                        // 4005
    CmdSetPrm,                                     // 4006
    CmdUnlockCamVic,                               // 4007
    CmdCamVic<AcqGetCamVic>,                       // 4008
    CmdCamVic<AcqSetCamVic>,                       // 4009
    CmdLut<AcqReadLut>,                            // 4010
    CmdLut<AcqWriteLut>,                           // 4011
    CmdPrivate<AcqPrivateRead>,                    // 4012
    CmdPrivate<AcqPrivateWrite>,                   // 4013
    CmdRegisterCallback,                           // 4014
    CmdUnregisterCallback,                         // 4015
    CmdCheckBoardState,                            // 4016
    CmdGetCameraControl,                           // 4017
    CmdSetCameraControl,                           // 4018
    CmdSoftwareTrigger,                            // 4019
    CmdResetTimeStamp,                             // 4020
    CmdCreateBuffer<AcqCreateInternalBuffers>,     // 4021
    CmdFreeBuffer<AcqFreeInternalBuffer>,          // 4022
    CmdInternalData<AcqWriteInternalBuffer>,       // 4023
    CmdInternalData<AcqReadInternalBuffer>,        // 4024
    CmdSerialPortName,                             // 4025
    CmdCreateBuffer<AcqCreateOnboardBuffer>,       // 4026
    CmdFreeBuffer<AcqFreeOnboardBuffer>,           // 4027
    CmdOnboardData<AcqWriteOnboardBuffer>,         // 4028
    CmdOnboardData<AcqReadOnboardBuffer>,          // 4029
};

}  // namespace

QelStatus AcqServerInit() { return QelManNewFuncHandler(kAcqFirstCommand, kAcqLastCommand, kTable.data(), &g_token); }

QelStatus AcqServerFree() {
  if (g_token != nullptr) QelManFreeFuncHandler(g_token);
  g_token = nullptr;
  return 0;
}
