// The buffer state link: parameter 27 ties bit 31 of the state, and the
// counter, to an outside word or function of this process. Bit 31 of the
// link descriptor: linked; bits 0-4: the bit number; bit 30: inverted; bit 28:
// the target is a function; bit 29: the counter is linked; bits 8-12: the
// counter's width. A link without a target links nothing.
#include "source/QelBuff/BufferParams.h"

namespace {

constexpr std::uint32_t kLinked = 1u << 31;
constexpr std::uint32_t kInverted = 1u << 30;
constexpr std::uint32_t kCounterLinked = 1u << 29;
constexpr std::uint32_t kFunction = 1u << 28;
constexpr std::uint32_t kReadRequest = 1;
constexpr std::uint32_t kWriteRequest = 2;

using StateLinkFunction = std::uint32_t (*)(std::uint64_t argument, std::uint32_t request, std::uint32_t value);

struct Link {
  std::uint32_t word;
  bool linked() const { return (word & kLinked) != 0; }
  bool function() const { return (word & kFunction) != 0; }
  std::uint32_t bit() const { return 1u << (word & 31u); }
  std::uint32_t polarity() const { return (word & kInverted) != 0 ? 1u : 0u; }
  std::uint32_t counterMask() const {
    const std::uint32_t width = (word >> 8) & 31u;
    return width == 0 ? 0xFFFFFFFFu : (1u << width) - 1;
  }
};

std::uint32_t* WordAt(std::uint64_t address) {
  return reinterpret_cast<std::uint32_t*>(static_cast<std::uintptr_t>(address));
}

}  // namespace

std::uint32_t BufferReadState(BufferDescriptor* descriptor) {
  const Link link{descriptor->stateLinkDescriptor};
  if (!link.linked() || descriptor->stateLinkTarget == 0) return descriptor->state;
  if (link.function()) {
    auto function = reinterpret_cast<StateLinkFunction>(static_cast<std::uintptr_t>(descriptor->stateLinkTarget));
    return (descriptor->state & ~kLinked) | function(descriptor->stateLinkMirror, kReadRequest, 0);
  }
  const std::uint32_t bit = (*WordAt(descriptor->stateLinkTarget) & link.bit()) != 0 ? 1u : 0u;
  return (descriptor->state & ~kLinked) | ((bit ^ link.polarity()) << 31);
}

void BufferWriteState(BufferDescriptor* descriptor, std::uint32_t value) {
  const Link link{descriptor->stateLinkDescriptor};
  if (link.linked() && descriptor->stateLinkTarget != 0) {
    const bool set = (((value >> 31) & 1u) ^ link.polarity()) != 0;
    if (link.function()) {
      auto function = reinterpret_cast<StateLinkFunction>(static_cast<std::uintptr_t>(descriptor->stateLinkTarget));
      function(descriptor->stateLinkMirror, kWriteRequest, set ? 1u : 0u);
    } else {
      std::uint32_t* word = WordAt(descriptor->stateLinkTarget);
      *word = set ? (*word | link.bit()) : (*word & ~link.bit());
      if (std::uint32_t* mirror = WordAt(descriptor->stateLinkMirror))
        *mirror = set ? (*mirror | link.bit()) : (*mirror & ~link.bit());
    }
  }
  descriptor->state = value;
}

std::uint32_t BufferReadCounter(BufferDescriptor* descriptor) {
  const Link link{descriptor->stateLinkDescriptor};
  if ((link.word & kCounterLinked) != 0 && !link.function() && descriptor->stateLinkTarget != 0)
    descriptor->counter = *WordAt(descriptor->stateLinkTarget) & link.counterMask();
  return descriptor->counter;
}
