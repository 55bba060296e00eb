// The server side of transfer commands 16000-16021: each handler reads its
// fields from the request (never past its end), calls the transfer manager
// with the API lock released and answers with the status in word 7.
#include <array>
#include <cstring>

#include "source/QelAPI/QelApi.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferServer.h"
#include "source/QelXfer/XferStatus.h"

namespace {

constexpr std::uint32_t kFirst = 16000;
constexpr std::uint32_t kLast = 16021;
constexpr std::uint32_t kHandleSize = sizeof(QelHandle);
constexpr std::uint32_t kAt = 36;  // the first field after the header

// The caller's token place: the instance may free the registration through it too.
HostFuncHandler** g_tokenPlace = nullptr;

// The fields of one request, copied out so that nothing is read unaligned
// or past the message.
class Fields {
 public:
  explicit Fields(const QelMessageHeader* message)
      : bytes_(reinterpret_cast<const std::uint8_t*>(message)), size_(message->size) {}
  bool reaches(std::uint32_t end) const { return end <= size_; }
  std::uint32_t size() const { return size_; }
  QelHandle handle(std::uint32_t at) const { return copy<QelHandle>(at); }
  std::uint32_t word(std::uint32_t at) const { return copy<std::uint32_t>(at); }
  std::uint64_t quad(std::uint32_t at) const { return copy<std::uint64_t>(at); }
  XferPairDesc desc(std::uint32_t at) const { return copy<XferPairDesc>(at); }
  const std::uint8_t* at(std::uint32_t offset) const { return bytes_ + offset; }

 private:
  template <typename T>
  T copy(std::uint32_t at) const {
    T value{};
    if (reaches(at + static_cast<std::uint32_t>(sizeof(T)))) std::memcpy(&value, bytes_ + at, sizeof(T));
    return value;
  }
  const std::uint8_t* bytes_;
  std::uint32_t size_;
};

// One command: the answer first (its failure is returned with no answer),
// the operation with the API lock released, the status into the answer.
template <typename Operation>
QelStatus Serve(QelMessageHeader* message, std::uint32_t needed, std::uint32_t payload, Operation&& operation) {
  QelMessageHeader* answer = nullptr;
  const QelStatus allocated =
      QelManAllocAnswer(message, static_cast<std::uint32_t>(sizeof(QelMessageHeader)) + payload, &answer);
  if (allocated != QEL_OK) return allocated;
  auto* out = reinterpret_cast<std::uint8_t*>(answer + 1);
  std::memset(out, 0, payload);
  const Fields fields(message);
  QelStatus status = XferStatus(1, kXferKindBadArgument);
  if (fields.reaches(needed)) {
    const std::uint8_t depth = ApiUnlockThread();
    status = operation(fields, out);
    ApiRelockThread(depth);
  }
  answer->command = status;
  return QelManSendAnswer(answer);
}

// Commands on a transfer handle alone.
template <QelStatus (*Operation)(const QelHandle*)>
QelStatus OnTransfer(QelMessageHeader* message) {
  return Serve(message, kAt + kHandleSize, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(kAt);
    return Operation(&xfer);
  });
}

void PutHandle(std::uint8_t* out, const QelHandle* handle) {
  if (handle != nullptr) std::memcpy(out, handle, kHandleSize);
}

QelStatus CmdNewShort(QelMessageHeader* message) {
  return Serve(message, 152, kHandleSize, [](const Fields& f, std::uint8_t* out) {
    const QelHandle server = f.handle(36), source = f.handle(68), destination = f.handle(100);
    const XferPairDesc desc = f.desc(132);
    QelHandle* made = nullptr;
    const QelStatus status = XferNewShort(&server, &source, &destination, &desc, &made);
    PutHandle(out, made);
    return status;
  });
}

QelStatus CmdAddPairShort(QelMessageHeader* message) {
  return Serve(message, 152, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36), source = f.handle(68), destination = f.handle(100);
    const XferPairDesc desc = f.desc(132);
    return XferAddPairShort(&xfer, &source, &destination, &desc);
  });
}

// 16006 and 16007: the value, as many bytes as the id's low 16 bits.
template <bool Capability>
QelStatus CmdGetValue(QelMessageHeader* message) {
  const Fields peek(message);
  const std::uint32_t size = peek.word(68) & 0xFFFFu;
  return Serve(message, 72, size, [size](const Fields& f, std::uint8_t* out) {
    const QelHandle xfer = f.handle(36);
    const std::uint32_t id = f.word(68);
    std::array<std::uint8_t, 8> value{};
    QelStatus status = QEL_OK;
    if constexpr (Capability) {
      std::uint32_t word = 0;
      status = XferGetCap(&xfer, id, &word);
      std::memcpy(value.data(), &word, sizeof word);
    } else {
      status = XferGetPrm(&xfer, id, value.data());
    }
    std::memcpy(out, value.data(), std::min<std::size_t>(size, value.size()));
    return status;
  });
}

QelStatus CmdSetPrm(QelMessageHeader* message) {
  const Fields peek(message);
  const std::uint32_t size = peek.word(68) & 0xFFFFu;
  return Serve(message, 72 + size, 0, [size](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36);
    std::array<std::uint8_t, 8> value{};
    std::memcpy(value.data(), f.at(72), std::min<std::size_t>(size, value.size()));
    return XferSetPrm(&xfer, f.word(68), value.data());
  });
}

QelStatus CmdStart(QelMessageHeader* message) {
  return Serve(message, 72, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36);
    return XferStart(&xfer, static_cast<std::int32_t>(f.word(68)));
  });
}

QelStatus CmdWait(QelMessageHeader* message) {
  return Serve(message, 72, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36);
    return XferWait(&xfer, f.word(68));
  });
}

QelStatus CmdRegisterCallback(QelMessageHeader* message) {
  return Serve(message, 120, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36), server = f.handle(68);
    return XferRegisterCallback(&xfer, f.word(116), f.quad(100), f.quad(108), &server);
  });
}

QelStatus CmdUnregisterCallback(QelMessageHeader* message) {
  return Serve(message, 76, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36);
    return XferUnregisterCallback(&xfer, f.quad(68));
  });
}

QelStatus CmdAddDestinationLocked(QelMessageHeader* message) {
  return Serve(message, 136, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36), source = f.handle(68), destination = f.handle(100);
    return XferAddDestinationLocked(&xfer, &source, &destination, f.word(132));
  });
}

QelStatus CmdNullCommand(QelMessageHeader* message) {
  return Serve(message, kAt, 0, [](const Fields& f, std::uint8_t*) {
    if (f.size() <= kAt) return QEL_OK;
    const QelHandle handle = f.handle(kAt);
    return f.reaches(kAt + kHandleSize) ? XferNullCommand(&handle) : XferNullCommand(nullptr);
  });
}

QelStatus CmdNew(QelMessageHeader* message) {
  return Serve(message, 160, kHandleSize, [](const Fields& f, std::uint8_t* out) {
    const QelHandle server = f.handle(36), source = f.handle(68), destination = f.handle(104);
    const XferPairDesc desc = f.desc(140);
    QelHandle* made = nullptr;
    const QelStatus status = XferNew(&server, &source, f.word(100), &destination, f.word(136), &desc, &made);
    PutHandle(out, made);
    return status;
  });
}

QelStatus CmdAddPair(QelMessageHeader* message) {
  return Serve(message, 160, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36), source = f.handle(68), destination = f.handle(104);
    const XferPairDesc desc = f.desc(140);
    return XferAddPair(&xfer, &source, f.word(100), &destination, f.word(136), &desc);
  });
}

QelStatus CmdAddDestination(QelMessageHeader* message) {
  return Serve(message, 144, 0, [](const Fields& f, std::uint8_t*) {
    const QelHandle xfer = f.handle(36), source = f.handle(68), destination = f.handle(104);
    return XferAddDestination(&xfer, &source, f.word(100), &destination, f.word(136), f.word(140));
  });
}

}  // namespace

QelStatus XferServerInit(HostFuncHandler** token) {
  std::array<QelFuncHandler, kLast - kFirst + 1> table{};
  table[0] = CmdNewShort;
  table[1] = OnTransfer<XferRelease>;
  table[2] = OnTransfer<XferConnect>;
  table[3] = OnTransfer<XferDisconnect>;
  table[4] = OnTransfer<XferReset>;
  table[5] = CmdAddPairShort;
  table[6] = CmdGetValue<true>;
  table[7] = CmdGetValue<false>;
  table[8] = CmdSetPrm;
  table[9] = CmdStart;
  table[10] = OnTransfer<XferStop>;
  table[11] = OnTransfer<XferAbort>;
  table[12] = CmdWait;
  table[13] = CmdRegisterCallback;
  table[14] = CmdUnregisterCallback;
  table[15] = CmdAddDestinationLocked;
  table[18] = CmdNullCommand;
  table[19] = CmdNew;
  table[20] = CmdAddPair;
  table[21] = CmdAddDestination;
  const QelStatus status = QelManNewFuncHandler(kFirst, kLast, table.data(), token);
  if (status == QEL_OK) g_tokenPlace = token;
  return status;
}

QelStatus XferServerFree() {
  if (g_tokenPlace != nullptr && *g_tokenPlace != nullptr) {
    QelManFreeFuncHandler(*g_tokenPlace);
    *g_tokenPlace = nullptr;
  }
  g_tokenPlace = nullptr;
  return QEL_OK;
}
