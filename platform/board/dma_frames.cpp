#include "platform/board/dma_frames.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "platform/board/board_dma.h"
#include "platform/board/board_state.h"
#include "platform/board/flat_field_unit.h"
#include "platform/board/input_lut.h"
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
constexpr std::uint16_t kCameraInsertKinds[] = {0x1, 0x100};

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

// A run of bytes: an offset (into the entry's buffer, or into the frame) and a count.
struct Span {
  std::uint64_t offset = 0;
  std::uint64_t count = 0;
};

// The bytes an LB chain sends a host channel: storage kept between frames
// (grown, never cleared) and the length this frame filled.
struct Stream {
  std::vector<std::byte> storage;
  std::size_t length = 0;

  std::byte* extend(std::size_t count) {
    if (storage.size() < length + count) storage.resize(std::max(length + count, 2 * storage.size()));
    std::byte* at = storage.data() + length;
    length += count;
    return at;
  }
  std::span<const std::byte> bytes() const { return std::span<const std::byte>(storage.data(), length); }
};

// An acquisition buffer that holds the frame a strip at a time: its chain's
// places (the first strip), the places of the ring its chain closes on (every
// later strip), and the strip it holds now.
struct Strip {
  std::uint64_t buffer = 0;       // on-board address of the buffer (the entry's word 0)
  std::vector<Span> chain;
  std::vector<Span> ring;
  std::uint64_t chain_bytes = 0;
  std::uint64_t ring_bytes = 0;
  std::uint64_t ring_start = 0;   // the lowest offset of the ring's places
  std::uint64_t strips = 0;
  std::uint64_t current = 0;      // the strip the buffer holds
  bool read = false;              // an LB piece read it since the frame began
  std::uint64_t last_read = 0;    // the offset the last LB piece read
};

// What the thread that carries frames keeps from one frame to the next, so
// that a frame allocates nothing once the first has grown it.
struct Scratch {
  std::vector<Span> chain;   // an AL chain's places in its own order
  std::vector<Span> sorted;  // the same by rising offset
  std::vector<Span> share;   // the frame's bytes a tap sends, in sending order
  std::vector<Strip> strips;  // the strip buffers of this frame
  std::array<Stream, kHostDmaChannels> streams;
};

Scratch& scratch() {
  thread_local Scratch instance;
  return instance;
}

// The camera pattern along a line is 7x + B (mod 256) for the line's B, so a
// run of it is a run of the ramp 7j read from j = x + 183 B (7 x 183 = 1 mod 256).
constexpr std::uint32_t kInverseOf7 = 183;
constexpr std::size_t kRampRun = 4096;

const std::array<std::uint8_t, 256 + kRampRun>& ramp() {
  static const auto table = [] {
    std::array<std::uint8_t, 256 + kRampRun> bytes{};
    for (std::size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<std::uint8_t>(j * 7);
    return bytes;
  }();
  return table;
}

// Bytes x .. x + count of line y of the frame, as the camera sent them.
void pattern_run(int board, const CameraFrame& frame, std::uint64_t y, std::uint64_t x, std::uint8_t* out,
                 std::uint64_t count) {
  y += frame.first_line;
  x += frame.first_byte;
  const std::uint32_t base = camera_pattern(board, frame.channel, frame.number, 0, static_cast<std::uint32_t>(y));
  while (count > 0) {
    const std::uint64_t take = std::min<std::uint64_t>(count, kRampRun);
    const std::size_t from = (x + std::uint64_t{kInverseOf7} * base) % 256;
    std::memcpy(out, ramp().data() + from, take);
    out += take;
    x += take;
    count -= take;
  }
}

// The AL chain of an entry in its own order, up to the descriptor that ends
// its last line or where it closes on its head. Answers the place the chain
// goes on at after its last line when that is a place it already walked (a
// strip: the ring from there on takes every later strip), else the chain's
// size; a chain of several regions goes on into the next region's lines
// instead, and ends with the first as it always did.
std::size_t chain_spans(const OnboardMemory& memory, const Entry& entry, std::vector<Span>* spans) {
  spans->clear();
  std::vector<std::uint32_t> walked;
  std::uint32_t at = entry[1];
  for (std::uint32_t n = 0; n < kMaxDescriptors; ++n) {
    const auto d = read_onboard<Descriptor>(memory, at);
    spans->push_back(Span{d.address, d.control & kCountMask});
    walked.push_back(at);
    if ((d.control & kAlLastLine) != 0) {
      const auto again = std::find(walked.begin(), walked.end(), d.next);
      return d.next != entry[1] && again != walked.end() ? static_cast<std::size_t>(again - walked.begin())
                                                         : spans->size();
    }
    if (d.next == entry[1]) break;
    at = d.next;
  }
  return spans->size();
}

std::uint64_t bytes_of(std::span<const Span> spans) {
  std::uint64_t bytes = 0;
  for (const Span& span : spans) bytes += span.count;
  return bytes;
}

// The tap's share of the frame in the camera's order, as runs of frame
// offsets: the places the chain covers, taken by rising offset, until the
// first place beyond the frame or the frame's size in all. Answers its size.
// A strip's share is the same, `shift` bytes further into the frame.
std::uint64_t tap_share(const CameraFrame& frame, const std::vector<Span>& chain, Scratch& s,
                        std::uint64_t shift = 0) {
  const std::uint64_t total = std::uint64_t{frame.width} * frame.bytes_per_pixel * frame.height;
  s.sorted.assign(chain.begin(), chain.end());
  std::stable_sort(s.sorted.begin(), s.sorted.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
  s.share.clear();
  std::uint64_t size = 0;
  for (const Span& span : s.sorted) {
    const std::uint64_t at = span.offset + shift;
    const std::uint64_t inside = at >= total ? 0 : std::min(span.count, total - at);
    const std::uint64_t take = std::min(inside, total - size);
    if (take != 0) s.share.push_back(Span{at, take});
    size += take;
    if (take < span.count) break;  // the frame ended inside this place, or the share is whole
  }
  return size;
}

// Writes `count` bytes of the share, from the share's `cursor`, at onboard `address`.
struct ShareCursor {
  std::size_t run = 0;      // the share's run
  std::uint64_t into = 0;   // bytes of it already placed
};

// What a frame's pixels meet between the camera and the acquisition DMA.
struct PixelPath {
  InputLut lut;
  FlatField flat;
};

PixelPath pixel_path_of(const Board& board, const CameraFrame& frame) {
  return PixelPath{input_lut_of(board, frame.channel, frame.bytes_per_pixel),
                   flat_field_of(board, frame.channel, frame.bytes_per_pixel, frame.width)};
}

// The camera's bytes of a line from byte x, through the input LUT and the
// flat-field unit. Both take whole two-byte pixels, so a run starting or
// ending inside a pixel is made from its whole pixels.
void looked_up_run(const Board& board, const CameraFrame& frame, const PixelPath& path, std::uint64_t y,
                   std::uint64_t x, std::uint64_t line_bytes, std::span<std::uint8_t> out) {
  const bool whole_pixels = frame.bytes_per_pixel == 2 && (path.lut.active || path.flat.active);
  if (!whole_pixels) {
    pattern_run(board.index, frame, y, x, out.data(), out.size());
    input_lut_apply(path.lut, out);
    flat_field_apply(board, path.flat, y, x, out);
    return;
  }
  const std::uint64_t first = x & ~std::uint64_t{1};
  const std::uint64_t end = std::min(line_bytes, (x + out.size() + 1) & ~std::uint64_t{1});
  std::vector<std::uint8_t> pixels(end - first);
  pattern_run(board.index, frame, y, first, pixels.data(), pixels.size());
  input_lut_apply(path.lut, pixels);
  flat_field_apply(board, path.flat, y, first, pixels);
  std::memcpy(out.data(), pixels.data() + (x - first), out.size());
}

void place_share(Board& board, const CameraFrame& frame, const PixelPath& path, const std::vector<Span>& share,
                 ShareCursor* cursor, std::uint64_t address, std::uint64_t count) {
  const std::uint64_t line_bytes = std::uint64_t{frame.width} * frame.bytes_per_pixel;
  while (count > 0 && cursor->run < share.size()) {
    const Span& run = share[cursor->run];
    const std::span<std::uint8_t> place =
        onboard_memory_run(board.onboard, address, std::min(count, run.count - cursor->into));
    // The place may cross lines of the frame: one pattern run per line.
    for (std::uint64_t done = 0; done < place.size();) {
      const std::uint64_t position = run.offset + cursor->into + done;
      const std::uint64_t x = position % line_bytes;
      const std::uint64_t take = std::min<std::uint64_t>(place.size() - done, line_bytes - x);
      looked_up_run(board, frame, path, position / line_bytes, x, line_bytes, place.subspan(done, take));
      done += take;
    }
    address += place.size();
    count -= place.size();
    cursor->into += place.size();
    if (cursor->into == run.count) {
      ++cursor->run;
      cursor->into = 0;
    }
  }
}

// The share along the chain's places in the buffer.
void place_along(Board& board, const CameraFrame& frame, const PixelPath& path, const std::vector<Span>& chain,
                 const std::vector<Span>& share, std::uint64_t size, std::uint64_t buffer) {
  ShareCursor cursor;
  std::uint64_t done = 0;
  for (const Span& span : chain) {
    if (done >= size) break;
    const std::uint64_t count = std::min(span.count, size - done);
    place_share(board, frame, path, share, &cursor, buffer + span.offset, count);
    done += count;
  }
}

// Strip n of the frame into the strip buffer: the first along the whole
// chain, each later one along the ring, taking the frame's bytes after the
// strips before it.
void write_strip(Board& board, const CameraFrame& frame, Strip& strip, std::uint64_t n) {
  Scratch& s = scratch();
  const std::vector<Span>& places = n == 0 ? strip.chain : strip.ring;
  const std::uint64_t shift = n == 0 ? 0 : strip.chain_bytes + (n - 1) * strip.ring_bytes - strip.ring_start;
  const std::uint64_t size = tap_share(frame, places, s, shift);
  place_along(board, frame, pixel_path_of(board, frame), places, s.share, size, strip.buffer);
  strip.current = n;
}

Strip make_strip(const Entry& entry, const std::vector<Span>& chain, std::size_t ring_from, std::uint64_t total) {
  Strip strip;
  strip.buffer = entry[0];
  strip.chain = chain;
  strip.ring.assign(chain.begin() + static_cast<std::ptrdiff_t>(ring_from), chain.end());
  strip.chain_bytes = bytes_of(chain);
  strip.ring_bytes = bytes_of(strip.ring);
  strip.ring_start = ~std::uint64_t{0};
  for (const Span& span : strip.ring) strip.ring_start = std::min(strip.ring_start, span.offset);
  strip.strips = 1 + (total - strip.chain_bytes + strip.ring_bytes - 1) / strip.ring_bytes;
  return strip;
}

// AL: the tap's share of the frame along the chain, into the entry's buffer.
// A chain that goes on after its last line holds the frame strip by strip:
// its first strip now, the next ones as LB reads them (forward).
void acquire(Board& board, DmaChannelState& channel, const CameraFrame& frame) {
  const Entry entry = read_onboard<Entry>(board.onboard, channel.current);
  if (camera_of(entry) != frame.channel) return;
  Scratch& s = scratch();
  const std::size_t ring_from = chain_spans(board.onboard, entry, &s.chain);
  const std::uint64_t total = std::uint64_t{frame.width} * frame.bytes_per_pixel * frame.height;
  const std::uint64_t chain_bytes = bytes_of(s.chain);
  const bool ring_holds_bytes = ring_from < s.chain.size() && bytes_of(std::span(s.chain).subspan(ring_from)) != 0;
  if (ring_holds_bytes && total > chain_bytes) {
    Strip strip = make_strip(entry, s.chain, ring_from, total);
    write_strip(board, frame, strip, 0);
    s.strips.push_back(std::move(strip));
  } else {
    const std::uint64_t size = tap_share(frame, s.chain, s);
    place_along(board, frame, pixel_path_of(board, frame), s.chain, s.share, size, entry[0]);
  }
  channel.current = entry[7];
}

// Before an LB piece reads a strip buffer at or before the place the last
// piece read (the LB chain went on to its next line, back over the ring),
// the buffer takes the frame's next strip.
void follow_strip(Board& board, const CameraFrame& frame, std::uint64_t buffer, std::uint64_t source) {
  for (Strip& strip : scratch().strips) {
    if (strip.buffer != buffer || source < buffer) continue;
    const std::uint64_t offset = source - buffer;
    if (strip.read && offset <= strip.last_read && strip.current + 1 < strip.strips)
      write_strip(board, frame, strip, strip.current + 1);
    strip.read = true;
    strip.last_read = offset;
    return;
  }
}

bool is_image(const Descriptor& d) { return d.kind == 0 || d.kind == kImagePieceKind; }

bool is_camera_insert(const Descriptor& d) {
  return std::find(std::begin(kCameraInsertKinds), std::end(kCameraInsertKinds), d.kind) != std::end(kCameraInsertKinds);
}

// Where an LB descriptor reads: image pieces within the entry's buffer, the
// extra pieces from the on-board buffer their address names.
std::uint64_t lb_source(const Entry& entry, const Descriptor& d) {
  if (!is_image(d)) return d.address;
  return static_cast<std::uint32_t>(entry[0] + d.address);
}

// The bytes of an image piece that the frame wrote: a frame with fewer lines
// than its buffer (a camera shorter than the window) leaves the buffer's
// later lines unwritten, and the pieces that read them carry nothing of it.
std::uint32_t frame_part(const CameraFrame& frame, const Descriptor& d, std::uint32_t count) {
  if (!is_image(d)) return count;
  const std::uint64_t frame_bytes = std::uint64_t{frame.width} * frame.bytes_per_pixel * frame.height;
  if (d.address >= frame_bytes) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, frame_bytes - d.address));
}

// LB: every piece of the chain to the host channels its descriptor names. A
// camera insert is a one-line header in front of the frame: the chain names
// it on every window line, and only the runs before the image's first are sent.
void forward(Board& board, DmaChannelState& channel, const CameraFrame& frame,
             std::array<Stream, kHostDmaChannels>& streams) {
  const Entry entry = read_onboard<Entry>(board.onboard, channel.current);
  if (camera_of(entry) != frame.channel) return;
  std::uint32_t at = entry[1];
  bool image_begun = false;
  for (std::uint32_t n = 0; n < kMaxDescriptors; ++n) {
    const auto d = read_onboard<Descriptor>(board.onboard, at);
    const bool repeated_header = image_begun && is_camera_insert(d);
    if ((d.control & kLbEmpty) == 0 && !repeated_header) {
      image_begun = image_begun || is_image(d);
      const std::uint32_t count = frame_part(frame, d, d.control & kCountMask);
      if (is_image(d)) follow_strip(board, frame, entry[0], lb_source(entry, d));
      for (std::uint32_t b = 0; b < kHostDmaChannels; ++b) {
        if ((d.mask & (1u << b)) == 0) continue;
        onboard_memory_copy_out(board.onboard, lb_source(entry, d),
                                reinterpret_cast<std::uint8_t*>(streams[b].extend(count)), count);
      }
    }
    if (d.next == entry[1]) break;
    at = d.next;
  }
  channel.current = entry[7];
}

// What one host channel made of its stream.
struct HostResult {
  bool filled = false;
  std::uint64_t next = 0;
  std::array<HostMessage, 2> messages{};
  std::uint32_t message_count = 0;
};

// One contiguous run of a host buffer, written at once.
struct Run {
  std::uint64_t address = 0;
  std::size_t offset = 0;
  std::size_t length = 0;
};

bool flush(const BoardDmaBatch& dma, const Run& run, std::span<const std::byte> data) {
  return run.length == 0 || dma.write(run.address, data.subspan(run.offset, run.length));
}

// BH: the stream along the host descriptors of the channel's current entry,
// each contiguous run of the host buffer written in one piece. Nothing is
// written when the entry is not armed.
HostResult fill_host(Board* board, std::uint32_t channel, std::uint64_t current, std::span<const std::byte> data,
                     std::uint32_t stamp) {
  HostResult result;
  result.next = current;
  const BoardDmaBatch dma(board);
  Entry entry{};
  if (!dma.read(current, std::as_writable_bytes(std::span(entry)))) return result;
  const bool armed = (entry[0] & kEntryArmed) != 0;
  const std::uint32_t mode = (entry[2] >> 25) & 3;
  if (mode != 0 && !armed) return result;
  const std::uint64_t head = entry[1] | std::uint64_t{entry[3]} << 32;
  std::uint64_t at = head;
  std::size_t position = 0;
  bool frame_notify = false;
  std::uint32_t lines = 0;
  Run run;
  for (std::uint32_t n = 0; n < kMaxDescriptors && position < data.size(); ++n) {
    Descriptor d{};
    if (!dma.read(at, std::as_writable_bytes(std::span(&d, 1)))) break;
    if (n == 0) frame_notify = (d.control & kHostFrameNotify) != 0;
    const std::size_t count = (d.control & kCountMask) == 0 ? 4096 : d.control & kCountMask;
    const std::size_t take = std::min(count, data.size() - position);
    const std::uint64_t address = d.address | std::uint64_t{d.kind} << 32;
    if (run.length != 0 && run.address + run.length == address) {
      run.length += take;
    } else {
      if (!flush(dma, run, data)) return result;
      run = Run{address, position, take};
    }
    position += take;
    if (take == count && (d.control & kHostLineEnd) != 0) ++lines;
    const bool closes = (d.control & (kHostLastLine | kHostLineEnd)) == (kHostLastLine | kHostLineEnd);
    if (closes || d.next == head) break;
    at = d.next;
  }
  if (!flush(dma, run, data)) return result;
  const std::uint32_t disarmed = entry[0] & ~kEntryArmed;
  dma.write(current, std::as_bytes(std::span(&disarmed, 1)));
  const std::uint32_t word0 = (entry[2] & 0xFFFFF) | channel << 24;
  if (frame_notify) result.messages[result.message_count++] = HostMessage{word0, kMessageKind | kMessageStart, 0, 0, 0, 0, 0, 0};
  if ((entry[2] & kControlEndMessage) != 0)
    result.messages[result.message_count++] =
        HostMessage{word0, kMessageKind | kMessageEnd, lines == 0 ? 0 : static_cast<std::uint32_t>(position / lines),
                    lines, stamp, 0, 0, 0};
  result.filled = true;
  result.next = entry[7];
  return result;
}

// Room in the message FIFO for what a host channel may post for one frame.
bool message_room(const Board& board) {
  return board.host_messages.fifo.size() + 2 <= kHostMessageCapacity;
}

}  // namespace

std::uint8_t camera_pattern(int board, std::uint32_t camera, std::uint32_t frame, std::uint32_t x, std::uint32_t y) {
  return static_cast<std::uint8_t>(x * 7 + y * 13 + frame * 31 + camera * 101 + static_cast<std::uint32_t>(board) * 53);
}

FrameDelivery board_carry_frame(Board* board, const CameraFrame& frame, const FrameCarried& carried) {
  FrameDelivery delivery;
  Scratch& s = scratch();
  for (Stream& stream : s.streams) stream.length = 0;
  s.strips.clear();
  std::array<std::uint64_t, kHostDmaChannels> starts{};
  bool host_runs = false;
  {
    std::lock_guard guard(board->lock);
    if (board->vanished) {
      if (carried) carried(*board, delivery);
      return delivery;
    }
    DmaEngines& engines = board->dma;
    for (std::uint32_t c = 0; c < kLocalDmaChannels; ++c)
      if (running(engines, 0, c) && engines.al[c].loaded) acquire(*board, engines.al[c], frame);
    for (std::uint32_t c = 0; c < kLocalDmaChannels; ++c)
      if (running(engines, 8, c) && engines.lb[c].loaded) forward(*board, engines.lb[c], frame, s.streams);
    for (std::uint32_t b = 0; b < kHostDmaChannels; ++b) starts[b] = engines.bh[b].loaded ? engines.bh[b].current : 0;
    host_runs = (board->dma_control.enables & kHostRunBit) != 0;
  }
  std::vector<HostMessage> messages;
  const auto finish = [&] {
    std::lock_guard guard(board->lock);
    if (carried) carried(*board, delivery);
    for (const HostMessage& message : messages)
      if (!host_messages_post(board->host_messages, board->interrupts, message)) ++delivery.unreported;
  };
  if (!host_runs) {
    finish();
    return delivery;
  }
  for (std::uint32_t b = 0; b < kHostDmaChannels; ++b) {
    if (s.streams[b].length == 0 || starts[b] == 0) continue;
    bool room;
    {
      std::lock_guard guard(board->lock);
      room = message_room(*board);
    }
    // A full message FIFO would leave the frame unreported: it is dropped whole, its buffer still armed.
    const HostResult result = room ? fill_host(board, b, starts[b], s.streams[b].bytes(), frame.end_stamp) : HostResult{};
    std::lock_guard guard(board->lock);
    DmaChannelState& channel = board->dma.bh[b];
    if (!result.filled) {
      ++board->dma.dropped;
      ++delivery.dropped;
      continue;
    }
    ++delivery.filled;
    ++board->dma.frames;
    if (channel.current == starts[b]) channel.current = result.next;
    messages.insert(messages.end(), result.messages.begin(), result.messages.begin() + result.message_count);
  }
  finish();
  interrupt_line_update(*board);
  return delivery;
}

std::uint32_t board_inject_frame(Board* board, const CameraFrame& frame) {
  return board_carry_frame(board, frame).filled;
}

}  // namespace plat::board
