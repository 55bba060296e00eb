#include "platform/board/dma_frames.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "platform/board/board_dma.h"
#include "platform/board/board_state.h"
#include "platform/board/interrupt_line.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kMaxDescriptors = 1u << 20;  // a chain longer than this is a broken chain
constexpr std::uint32_t kCountMask = 0xFFF;
constexpr std::uint32_t kAlLastLine = 1u << 21;
constexpr std::uint32_t kLbEmpty = 1u << 13;
constexpr std::uint32_t kHostFrameNotify = 1u << 16;
constexpr std::uint32_t kHostLastLine = 1u << 25;
constexpr std::uint32_t kHostLineEnd = 1u << 27;
constexpr std::uint32_t kEntryArmed = 0x80000000;
constexpr std::uint32_t kControlEndMessage = 1u << 27;
constexpr std::uint32_t kMessageKind = 1;
constexpr std::uint32_t kMessageStart = 1u << 12;
constexpr std::uint32_t kMessageEnd = 1u << 13;
constexpr std::uint32_t kHostRunBit = 0x2;
constexpr std::uint16_t kImagePieceKind = 0x10;

using Entry = std::array<std::uint32_t, 8>;

struct Descriptor {
  std::uint32_t address;
  std::uint16_t mask;
  std::uint16_t kind;
  std::uint32_t control;
  std::uint32_t next;
};
static_assert(sizeof(Descriptor) == 16);

template <typename T>
T read_onboard(const OnboardMemory& memory, std::uint64_t address) {
  T value{};
  onboard_memory_copy_out(memory, address, reinterpret_cast<std::uint8_t*>(&value), sizeof value);
  return value;
}

bool running(const DmaEngines& engines, std::uint32_t low, std::uint32_t c) {
  const std::uint32_t bits = (1u << (low + c)) | (1u << (low + 16 + c));
  return (engines.channel_control & bits) == bits;
}

std::uint32_t camera_of(const Entry& entry) { return (entry[2] >> 17) & 7; }

// A run of bytes an AL descriptor places, as an offset into the entry's buffer.
struct Span {
  std::uint64_t offset = 0;
  std::uint32_t count = 0;
};

// The AL chain of an entry in its own order, up to the descriptor that ends
// its last line or where it closes on its head.
std::vector<Span> chain_spans(const OnboardMemory& memory, const Entry& entry) {
  std::vector<Span> spans;
  std::uint32_t at = entry[1];
  for (std::uint32_t n = 0; n < kMaxDescriptors; ++n) {
    const auto d = read_onboard<Descriptor>(memory, at);
    spans.push_back(Span{d.address, d.control & kCountMask});
    if ((d.control & kAlLastLine) != 0 || d.next == entry[1]) break;
    at = d.next;
  }
  return spans;
}

// The tap's share of the frame in the camera's order: the bytes of the places
// the chain covers, taken by rising offset, up to the end of the frame.
std::vector<std::uint8_t> tap_share(int board, const CameraFrame& frame, std::vector<Span> spans) {
  const std::uint64_t line_bytes = std::uint64_t{frame.width} * frame.bytes_per_pixel;
  const std::uint64_t total = line_bytes * frame.height;
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
  std::vector<std::uint8_t> share;
  for (const Span& span : spans) {
    for (std::uint64_t p = span.offset; p < span.offset + span.count; ++p) {
      if (p >= total || share.size() >= total) return share;
      share.push_back(camera_pattern(board, frame.channel, frame.number, static_cast<std::uint32_t>(p % line_bytes),
                                     static_cast<std::uint32_t>(p / line_bytes)));
    }
  }
  return share;
}

// AL: the tap's share of the frame along the chain, into the entry's buffer.
void acquire(Board& board, DmaChannelState& channel, const CameraFrame& frame) {
  const Entry entry = read_onboard<Entry>(board.onboard, channel.current);
  if (camera_of(entry) != frame.channel) return;
  const std::vector<Span> spans = chain_spans(board.onboard, entry);
  const std::vector<std::uint8_t> share = tap_share(board.index, frame, spans);
  std::size_t done = 0;
  for (const Span& span : spans) {
    if (done >= share.size()) break;
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(span.count, share.size() - done));
    onboard_memory_copy_in(board.onboard, std::uint64_t{entry[0]} + span.offset, share.data() + done, count);
    done += count;
  }
  channel.current = entry[7];
}

// Where an LB descriptor reads: image pieces within the entry's buffer, the
// extra pieces from the on-board buffer their address names.
std::uint64_t lb_source(const Entry& entry, const Descriptor& d) {
  if (d.kind != 0 && d.kind != kImagePieceKind) return d.address;
  return static_cast<std::uint32_t>(entry[0] + d.address);
}

// LB: every piece of the chain to the host channels its descriptor names.
void forward(Board& board, DmaChannelState& channel, const CameraFrame& frame,
             std::array<std::vector<std::byte>, kHostDmaChannels>& streams) {
  const Entry entry = read_onboard<Entry>(board.onboard, channel.current);
  if (camera_of(entry) != frame.channel) return;
  std::vector<std::uint8_t> piece;
  std::uint32_t at = entry[1];
  for (std::uint32_t n = 0; n < kMaxDescriptors; ++n) {
    const auto d = read_onboard<Descriptor>(board.onboard, at);
    if ((d.control & kLbEmpty) == 0) {
      piece.resize(d.control & kCountMask);
      onboard_memory_copy_out(board.onboard, lb_source(entry, d), piece.data(),
                              static_cast<std::uint32_t>(piece.size()));
      for (std::uint32_t b = 0; b < kHostDmaChannels; ++b) {
        if ((d.mask & (1u << b)) == 0) continue;
        const auto* bytes = reinterpret_cast<const std::byte*>(piece.data());
        streams[b].insert(streams[b].end(), bytes, bytes + piece.size());
      }
    }
    if (d.next == entry[1]) break;
    at = d.next;
  }
  channel.current = entry[7];
}

struct HostResult {
  bool filled = false;
  std::uint64_t next = 0;
  std::vector<HostMessage> messages;
};

// One contiguous run of a host buffer, written at once.
struct Run {
  std::uint64_t address = 0;
  std::size_t offset = 0;
  std::size_t length = 0;
};

bool flush(Board* board, const Run& run, std::span<const std::byte> data) {
  return run.length == 0 || board_dma_write(board, run.address, data.subspan(run.offset, run.length));
}

// BH: the stream along the host descriptors of the channel's current entry.
HostResult fill_host(Board* board, std::uint32_t channel, std::uint64_t current, std::span<const std::byte> data) {
  HostResult result;
  result.next = current;
  Entry entry{};
  if (!board_dma_read(board, current, std::as_writable_bytes(std::span(entry)))) return result;
  const bool armed = (entry[0] & kEntryArmed) != 0;
  const std::uint32_t mode = (entry[2] >> 25) & 3;
  if (mode != 0 && !armed) return result;
  const std::uint64_t head = entry[1] | std::uint64_t{entry[3]} << 32;
  std::uint64_t at = head;
  std::size_t position = 0;
  bool frame_notify = false;
  Run run;
  for (std::uint32_t n = 0; n < kMaxDescriptors && position < data.size(); ++n) {
    Descriptor d{};
    if (!board_dma_read(board, at, std::as_writable_bytes(std::span(&d, 1)))) break;
    if (n == 0) frame_notify = (d.control & kHostFrameNotify) != 0;
    const std::size_t count = (d.control & kCountMask) == 0 ? 4096 : d.control & kCountMask;
    const std::size_t take = std::min(count, data.size() - position);
    const std::uint64_t address = d.address | std::uint64_t{d.kind} << 32;
    if (run.length != 0 && run.address + run.length == address) {
      run.length += take;
    } else {
      if (!flush(board, run, data)) return result;
      run = Run{address, position, take};
    }
    position += take;
    const bool closes = (d.control & (kHostLastLine | kHostLineEnd)) == (kHostLastLine | kHostLineEnd);
    if (closes || d.next == head) break;
    at = d.next;
  }
  if (!flush(board, run, data)) return result;
  const std::uint32_t disarmed = entry[0] & ~kEntryArmed;
  board_dma_write(board, current, std::as_bytes(std::span(&disarmed, 1)));
  const std::uint32_t word0 = (entry[2] & 0xFFFFF) | channel << 24;
  if (frame_notify) result.messages.push_back(HostMessage{word0, kMessageKind | kMessageStart, 0, 0, 0, 0, 0, 0});
  if ((entry[2] & kControlEndMessage) != 0)
    result.messages.push_back(
        HostMessage{word0, kMessageKind | kMessageEnd, 0, static_cast<std::uint32_t>(position), 0, 0, 0, 0});
  result.filled = true;
  result.next = entry[7];
  return result;
}

}  // namespace

std::uint8_t camera_pattern(int board, std::uint32_t camera, std::uint32_t frame, std::uint32_t x, std::uint32_t y) {
  return static_cast<std::uint8_t>(x * 7 + y * 13 + frame * 31 + camera * 101 + static_cast<std::uint32_t>(board) * 53);
}

std::uint32_t board_inject_frame(Board* board, const CameraFrame& frame) {
  std::array<std::vector<std::byte>, kHostDmaChannels> streams;
  std::array<std::uint64_t, kHostDmaChannels> starts{};
  bool host_runs = false;
  {
    std::lock_guard guard(board->lock);
    if (board->vanished) return 0;
    DmaEngines& engines = board->dma;
    for (std::uint32_t c = 0; c < kLocalDmaChannels; ++c)
      if (running(engines, 0, c) && engines.al[c].loaded) acquire(*board, engines.al[c], frame);
    for (std::uint32_t c = 0; c < kLocalDmaChannels; ++c)
      if (running(engines, 8, c) && engines.lb[c].loaded) forward(*board, engines.lb[c], frame, streams);
    for (std::uint32_t b = 0; b < kHostDmaChannels; ++b) starts[b] = engines.bh[b].loaded ? engines.bh[b].current : 0;
    host_runs = (board->dma_control.enables & kHostRunBit) != 0;
  }
  if (!host_runs) return 0;
  std::uint32_t filled = 0;
  for (std::uint32_t b = 0; b < kHostDmaChannels; ++b) {
    if (streams[b].empty() || starts[b] == 0) continue;
    const HostResult result = fill_host(board, b, starts[b], streams[b]);
    {
      std::lock_guard guard(board->lock);
      DmaChannelState& channel = board->dma.bh[b];
      if (!result.filled) {
        ++board->dma.dropped;
        continue;
      }
      ++filled;
      ++board->dma.frames;
      if (channel.current == starts[b]) channel.current = result.next;
      for (const HostMessage& message : result.messages)
        host_messages_post(board->host_messages, board->interrupts, message);
    }
  }
  interrupt_line_update(*board);
  return filled;
}

}  // namespace plat::board
