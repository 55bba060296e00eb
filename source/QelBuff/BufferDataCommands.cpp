// The data operations of buffer commands 9008-9031: each checks the length of
// its request against its fields and data, checks every buffer it is given,
// and dispatches by format index into the pixel-format operation tables,
// which check positions and sizes against the descriptors.
#include "buffer-formats/BufferFormatOps.h"
#include "source/QelBuff/BufferAccess.h"
#include "source/QelBuff/BufferCommands.h"
#include "source/QelBuff/BufferServe.h"

namespace {

using One = std::array<BufferDescriptor*, 1>;
using Two = std::array<BufferDescriptor*, 2>;

// The buffer at 36, checked for data; the operation on it.
template <typename Call>
QelStatus OnBuffer(const BufferRequest& request, std::initializer_list<std::uint64_t> ends, Call&& call) {
  if (const QelStatus status = request.check(ends); status != QEL_OK) return status;
  BufferDescriptor* d = nullptr;
  if (const QelStatus status = BufferCheckForData(request.handle(kBufferHandleOffset), kBufferInvalidHandle, &d);
      status != QEL_OK)
    return status;
  return BufferDataOperation(One{d}, [&] { return call(d); });
}

// The answer's data size of a read, from the request's field.
std::uint64_t Asked(QelMessageHeader* message, std::uint32_t offset) {
  return BufferRequest(message).word(offset);
}

}  // namespace

QelStatus BufferCmdRead(QelMessageHeader* message) {
  return BufferServe(message, Asked(message, 76), [](const BufferRequest& r, const BufferAnswer& a) {
    return OnBuffer(r, {68, 76, 80}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.ReadLinear, d->formatIndex, d, r.quad(68),
                              static_cast<void*>(a.payload), a.size);
    });
  });
}

QelStatus BufferCmdWrite(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    const std::uint32_t size = r.word(76);
    return OnBuffer(r, {68, 76, 80, 80ull + size}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.WriteLinear, d->formatIndex, d, r.quad(68),
                              static_cast<const void*>(r.at(80)), size);
    });
  });
}

namespace {

// A chain is at most as long as the codes the request holds and the room the
// data has.
std::int32_t ChainCount(const BufferRequest& r, const BufferDescriptor* d, std::uint32_t dataSize) {
  const std::uint64_t codes = r.size() > 84 ? r.size() - 84u : 0;
  const std::uint64_t room = d->elementSize == 0 ? 0 : dataSize / d->elementSize;
  const std::uint64_t count = std::min<std::uint64_t>({r.word(76), codes, room, 0x7FFFFFFF});
  return static_cast<std::int32_t>(count);
}

}  // namespace

QelStatus BufferCmdReadDots(QelMessageHeader* message) {
  return BufferServe(message, Asked(message, 80), [](const BufferRequest& r, const BufferAnswer& a) {
    return OnBuffer(r, {68, 72, 76, 80, 84}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.ReadChain, d->formatIndex, d, r.word(68), r.word(72), r.at(84),
                              ChainCount(r, d, a.size), static_cast<void*>(a.payload));
    });
  });
}

QelStatus BufferCmdWriteDots(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    const std::uint64_t codes = r.word(76);
    const std::uint32_t size = r.word(80);
    return OnBuffer(r, {68, 72, 76, 80, 84 + codes, 84 + codes + size}, [&](BufferDescriptor* d) {
      const auto count = static_cast<std::int32_t>(
          std::min<std::uint64_t>({codes, d->elementSize == 0 ? 0 : size / d->elementSize, 0x7FFFFFFF}));
      return BufferFormatCall(BufferFormatOps.WriteChain, d->formatIndex, d, r.word(68), r.word(72), r.at(84), count,
                              static_cast<const void*>(r.at(static_cast<std::uint32_t>(84 + codes))));
    });
  });
}

QelStatus BufferCmdReadElement(QelMessageHeader* message) {
  return BufferServe(message, Asked(message, 76), [](const BufferRequest& r, const BufferAnswer& a) {
    return OnBuffer(r, {68, 72, 76, 80}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.GetElement, d->formatIndex, d, r.word(68), r.word(72),
                              static_cast<void*>(a.payload), a.size);
    });
  });
}

QelStatus BufferCmdWriteElement(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    const std::uint32_t size = r.word(76);
    return OnBuffer(r, {68, 72, 76, 80, 80ull + size}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.SetElement, d->formatIndex, d, r.word(68), r.word(72),
                              static_cast<const void*>(r.at(80)), size);
    });
  });
}

QelStatus BufferCmdReadElementValue(QelMessageHeader* message) {
  return BufferServe(message, kFmtComponentBytes, [](const BufferRequest& r, const BufferAnswer& a) {
    return OnBuffer(r, {68, 72, 76, 80}, [&](BufferDescriptor* d) {
      if (r.word(76) < kFmtComponentBytes) return BufferStatus(4, 0x33);
      return BufferFormatCall(BufferFormatOps.GetElementEx, d->formatIndex, d, r.word(68), r.word(72),
                              static_cast<void*>(a.payload));
    });
  });
}

QelStatus BufferCmdWriteElementValue(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    return OnBuffer(r, {68, 72, 76, 76 + kFmtComponentBytes}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.SetElementEx, d->formatIndex, d, r.word(68), r.word(72),
                              static_cast<const void*>(r.at(76)));
    });
  });
}

QelStatus BufferCmdReadLine(QelMessageHeader* message) {
  return BufferServe(message, 4 + Asked(message, 88), [](const BufferRequest& r, const BufferAnswer& a) {
    return OnBuffer(r, {68, 72, 76, 80, 84, 88, 92}, [&](BufferDescriptor* d) {
      std::uint32_t count = r.word(84);
      const QelStatus status =
          BufferFormatCall(BufferFormatOps.ReadLine, d->formatIndex, d, static_cast<std::int32_t>(r.word(68)),
                           static_cast<std::int32_t>(r.word(72)), static_cast<std::int32_t>(r.word(76)),
                           static_cast<std::int32_t>(r.word(80)), &count, static_cast<void*>(a.payload + 4),
                           a.size - 4);
      std::memcpy(a.payload, &count, sizeof count);
      return status;
    });
  });
}

QelStatus BufferCmdWriteLine(QelMessageHeader* message) {
  return BufferServe(message, 4, [](const BufferRequest& r, const BufferAnswer& a) {
    const std::uint32_t size = r.word(88);
    return OnBuffer(r, {68, 72, 76, 80, 84, 88, 92, 92ull + size}, [&](BufferDescriptor* d) {
      std::uint32_t count = r.word(84);
      const QelStatus status =
          BufferFormatCall(BufferFormatOps.WriteLine, d->formatIndex, d, static_cast<std::int32_t>(r.word(68)),
                           static_cast<std::int32_t>(r.word(72)), static_cast<std::int32_t>(r.word(76)),
                           static_cast<std::int32_t>(r.word(80)), &count, static_cast<const void*>(r.at(92)), size);
      std::memcpy(a.payload, &count, sizeof count);
      return status;
    });
  });
}

QelStatus BufferCmdReadRect(QelMessageHeader* message) {
  return BufferServe(message, Asked(message, 84), [](const BufferRequest& r, const BufferAnswer& a) {
    return OnBuffer(r, {68, 72, 76, 80, 84, 88}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.ReadRect, d->formatIndex, d, r.word(68), r.word(72), r.word(76),
                              r.word(80), static_cast<void*>(a.payload), a.size);
    });
  });
}

QelStatus BufferCmdWriteRect(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    const std::uint32_t size = r.word(84);
    return OnBuffer(r, {68, 72, 76, 80, 84, 88, 88ull + size}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.WriteRect, d->formatIndex, d, r.word(68), r.word(72), r.word(76),
                              r.word(80), static_cast<const void*>(r.at(88)), size);
    });
  });
}

QelStatus BufferCmdClear(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    return OnBuffer(r, {68, 72}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.Clear, d->formatIndex, d, r.word(68));
    });
  });
}

QelStatus BufferCmdClearEx(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    const std::uint32_t length = r.word(68);
    return OnBuffer(r, {68, 72, 72ull + length}, [&](BufferDescriptor* d) {
      return BufferFormatCall(BufferFormatOps.ClearElement, d->formatIndex, d, static_cast<const void*>(r.at(72)),
                              length);
    });
  });
}

namespace {

// The source at 36 and a destination at `offset`, both checked.
QelStatus Pair(const BufferRequest& r, std::uint32_t offset, Two* buffers) {
  if (const QelStatus status = BufferCheckForData(r.handle(kBufferHandleOffset), kBufferInvalidHandle, &(*buffers)[0]);
      status != QEL_OK)
    return status;
  return BufferCheckForData(r.handle(offset), kBufferInvalidHandle, &(*buffers)[1]);
}

}  // namespace

QelStatus BufferCmdCopy(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 72, 76, 108}); status != QEL_OK) return status;
    Two b{};
    if (const QelStatus status = Pair(r, 76, &b); status != QEL_OK) return status;
    return BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.Copy, b[0]->formatIndex, b[0], r.word(68), r.word(72), b[1]);
    });
  });
}

QelStatus BufferCmdCopyRect(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 72, 76, 80, 84, 116, 120, 124}); status != QEL_OK) return status;
    Two b{};
    if (const QelStatus status = Pair(r, 84, &b); status != QEL_OK) return status;
    return BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.CopyRect, b[0]->formatIndex, b[0], r.word(68), r.word(72), r.word(76),
                              r.word(80), b[1], r.word(116), r.word(120));
    });
  });
}

QelStatus BufferCmdLoad(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 72, 73}); status != QEL_OK) return status;
    return BufferLoadFile(r.handle(kBufferHandleOffset), r.word(68), r.text(72, kBufferNameField).c_str());
  });
}

QelStatus BufferCmdSave(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 72, 73}); status != QEL_OK) return status;
    return BufferSaveFile(r.handle(kBufferHandleOffset), r.word(68), r.text(72, kBufferNameField).c_str());
  });
}

QelStatus BufferCmdClearBlack(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68}); status != QEL_OK) return status;
    return BufferClearBlack(r.handle(kBufferHandleOffset));
  });
}
