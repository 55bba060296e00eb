// The BH lists: the assembled frame sent into the host buffers of the main
// destination (one element per tap, or three per tap for planar output) and
// of each extra destination.
#include <algorithm>
#include <cstdlib>

#include "driver/user/YatTransferLists.h"

namespace {

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

constexpr std::uint32_t kFlagsFromFirstTap = 0xC;  // record flag bits 2 and 3
constexpr std::uint32_t kPlanes = 3;
constexpr std::uint32_t kPlaneOneOffset = 9;
constexpr std::uint32_t kPlaneTwoOffset = 8;

struct RecordDraft {
  YatBhBufferRecord record{};
  std::vector<YatBhPiece> pieces;
};
struct ElementDraft {
  YatBhElement element{};
  std::vector<RecordDraft> records;
};

void Link(std::vector<ElementDraft>& drafts, std::vector<YatBhPiece>* pieces, std::vector<YatBhBufferRecord>* records,
          std::vector<YatBhElement>* elements) {
  std::size_t pieceCount = 0, recordCount = 0;
  for (const ElementDraft& e : drafts) {
    recordCount += e.records.size();
    for (const RecordDraft& r : e.records) pieceCount += r.pieces.size();
  }
  pieces->clear();
  records->clear();
  elements->clear();
  pieces->reserve(pieceCount);
  records->reserve(recordCount);
  for (ElementDraft& e : drafts) {
    YatBhElement element = e.element;
    element.buffers = Address(records->data() + records->size());
    for (RecordDraft& r : e.records) {
      YatBhBufferRecord record = r.record;
      record.regionCount = static_cast<std::uint32_t>(r.pieces.size());
      record.regions = r.pieces.empty() ? 0 : Address(pieces->data() + pieces->size());
      pieces->insert(pieces->end(), r.pieces.begin(), r.pieces.end());
      records->push_back(record);
    }
    elements->push_back(element);
  }
}

std::uint32_t RecordFlags(const YatHostBufferEntry& h, const YatTransferDesc& d) {
  std::uint32_t flags = 0;
  if ((h.bufferFlags & 0x60000000) != 0) flags |= 0x2;
  if ((h.bufferFlags & 0xF0000) != 0 || (d.routeWord == 7 && (d.eventId & 0xF0000) != 0)) flags |= 0x4;
  if ((h.bufferFlags & 0xF00000) != 0 || (d.routeWord == 7 && (d.eventId & 0xF00000) != 0)) flags |= 0x8;
  if ((h.bufferFlags & 0x40000000) != 0) flags |= 0x10;
  return flags | (h.notifyBits << 5);
}

std::uint32_t ReportedBuffers(std::uint32_t m, std::size_t buffers) {
  const auto count = static_cast<std::uint32_t>(buffers);
  return (m == 2 || m == 3) && count >= 2 ? count - 1 : count;
}

// The record every host buffer starts from, before taps and planes.
YatBhBufferRecord BaseRecord(const YatHostBufferEntry& h, std::uint32_t b, std::uint32_t m,
                             const std::vector<YatHostBufferEntry>& hosts, const YatTransferDesc& d,
                             std::uint64_t entryAddress) {
  YatBhBufferRecord r{};
  r.endNotify = (m == 2 || m == 3) && hosts.size() >= 2 ? (hosts.back().bufferFlags != 0 ? 1 : 0) : 1;
  r.readyOnly = m == 1 && h.bufferFlags != 0 ? 1 : 0;
  r.notifyOptions = RecordFlags(h, d);
  r.bufferIndex = b;
  r.camera = d.camera;
  r.geometry = h.geometry;
  r.lockRecord = entryAddress + YAT_HOST_BUFFER_LOCK_OFFSET;
  return r;
}

YatImageGeometry MergedGeometry(const YatImageGeometry& g, std::uint32_t n) {
  if (n == 0) return g;
  return {g.imageWidth * n, g.imageHeight / n, g.pixelFormat, g.left + (g.topLine % n) * g.linePitch, g.topLine / n,
          g.linePitch * n, g.lineCount / n};
}

std::int8_t Signed(std::int32_t step, bool negative) {
  const std::int32_t magnitude = std::abs(step);
  return static_cast<std::int8_t>(negative ? -magnitude : magnitude);
}

// A region walked left to right with the given line step.
YatBhPiece Region(std::int8_t lineStep, std::uint32_t x, std::uint32_t firstLine, std::uint32_t width,
                  std::uint32_t height) {
  return {YAT_BH_LEFT_TO_RIGHT, {lineStep, 0}, 0, 0, x, firstLine, width, height};
}

struct HostWindows {
  std::vector<YatImageWindow> a, b;
  std::int32_t step = 1;
};

YatImageWindow RecordWindow(const YatLocalImage& image) {
  return {0, image.windowX, image.windowY, image.windowWidth, image.windowHeight, 0,
          image.windowWidth * YatBytesPerPixel(image.pixelFormat)};
}

// The windows of the on-board layout, or the first host buffer's in direct host mode.
HostWindows Windows(const YatTransferInput& in) {
  HostWindows w;
  if (in.images.empty()) {
    const YatImageGeometry& g = in.hosts[0].geometry;
    const YatImageWindow only{0, 0, 0, g.imageWidth, g.imageHeight, 0x15, g.imageWidth};
    w.a = w.b = {only};
    return w;
  }
  const YatLocalImage& image = in.images[0];
  w.a = in.windowsA.empty() ? std::vector<YatImageWindow>{RecordWindow(image)} : in.windowsA;
  w.b = in.windowsB.empty() ? std::vector<YatImageWindow>{RecordWindow(image)} : in.windowsB;
  if (!in.windowsA.empty() && image.frameWidth != 0) {
    const auto step = static_cast<std::int32_t>(in.windowsA[0].lineStep / image.frameWidth);
    w.step = (in.windowsA[0].flags & YAT_WINDOW_NEGATIVE_STEP) != 0 ? -step : step;
  }
  return w;
}

// Host pieces of a frame: one per tap, or two for one tap when window B runs
// across the end of window A.
std::vector<YatBhPiece> HostPieces(const HostWindows& w, const YatTransferDesc& d, std::uint32_t t) {
  const YatImageWindow& a = w.a[0];
  const std::size_t tapEntry = w.a.size() / std::max<std::uint32_t>(1, t);
  const bool tapEntryNegative = tapEntry < w.a.size() && (w.a[tapEntry].flags & YAT_WINDOW_NEGATIVE_STEP) != 0;
  if (t < 2) {
    const YatImageWindow& b = w.b[0];
    const auto step = static_cast<std::int8_t>(w.step);
    const std::uint32_t aEnd = a.y + a.height;
    if (b.y >= aEnd || b.y + b.height <= aEnd) return {Region(step, 0, 0, b.width, b.height)};
    const std::uint32_t firstHeight = a.height - b.y;
    return {Region(step, 0, 0, b.width, firstHeight),
            Region(Signed(w.step, tapEntryNegative), 0, 0, b.width, b.height - firstHeight)};
  }
  const bool sameKind = tapEntry < w.a.size() &&
                        (w.a[0].flags & YAT_WINDOW_KIND_MASK) == (w.a[tapEntry].flags & YAT_WINDOW_KIND_MASK);
  const std::int32_t step = w.step * (d.dualMode == 1 && sameKind ? static_cast<std::int32_t>(t) : 1);
  std::vector<YatBhPiece> pieces;
  std::uint32_t linesBefore = 0;
  for (std::uint32_t k = 0; k < t; ++k) {
    const YatImageWindow& b = w.b[k];
    std::uint32_t first = linesBefore;
    if (d.tapInterleave != 0 && t < 3) first = b.y & ((1u << t) - 1);
    else if (t > 2) first = b.y;
    pieces.push_back(Region(Signed(step, (b.flags & YAT_WINDOW_NEGATIVE_STEP) != 0), b.x, first, b.width, b.height));
    linesBefore += b.height;
  }
  return pieces;
}

std::vector<YatBhPiece> BufferPieces(std::vector<YatBhPiece> pieces, const YatHostBufferEntry& h, std::uint32_t flags,
                                     std::uint32_t busWidth) {
  for (YatBhPiece& p : pieces) {
    if ((flags & 0x400) != 0) p.width /= 2;
    if ((h.entryFlags & YAT_ENTRY_VERTICAL_FLIP) != 0) p.options.lineStep = static_cast<std::int8_t>(-p.options.lineStep);
    p.width = Yat_Transfer_BusWidth(p.width, h.geometry.pixelFormat, busWidth, h.geometry.imageWidth);
  }
  return pieces;
}

// A record carries at most two empty pieces at its end that it can do without.
void DropEmptyTail(std::vector<YatBhPiece>* pieces) {
  for (int dropped = 0; dropped < 2 && pieces->size() > 1 && pieces->back().height == 0; ++dropped) pieces->pop_back();
}

// The records of one host buffer, one per tap.
std::vector<RecordDraft> TapRecords(const YatBhBufferRecord& base, const std::vector<YatBhPiece>& pieces,
                                    std::uint32_t t, std::uint32_t tapsField) {
  std::vector<RecordDraft> taps(t);
  const std::size_t share = std::max<std::size_t>(1, pieces.size() / t);
  for (std::uint32_t k = 0; k < t; ++k) {
    RecordDraft& draft = taps[k];
    draft.record = base;
    const std::size_t from = std::min(k * share, pieces.size());
    draft.pieces.assign(pieces.begin() + static_cast<std::ptrdiff_t>(from),
                        pieces.begin() + static_cast<std::ptrdiff_t>(std::min(from + share, pieces.size())));
    DropEmptyTail(&draft.pieces);
    if (k == 0) continue;
    if (!draft.pieces.empty()) draft.record.geometry.left = draft.pieces[0].x;
    draft.record.notifyOptions &= ~kFlagsFromFirstTap;
    if (k + 1 == t) draft.record.notifyOptions |= base.notifyOptions & kFlagsFromFirstTap;
  }
  if (t > 1 && tapsField > 2) taps[0].record.notifyOptions &= ~kFlagsFromFirstTap;
  return taps;
}

std::uint32_t PlaneFormat(std::uint32_t format) {
  return format == 16 || format == 25 ? 10 : 1;
}

// Three planes of every tap: the frame's components each to their own channel.
QelHwStatus SplitPlanes(std::uint32_t listFlags, std::vector<ElementDraft>* drafts, YatTransferLists* out) {
  const std::uint32_t step = (listFlags & 0x100) != 0 ? 16 : 8;
  const bool packed = (listFlags & 0x180) != 0;
  for (ElementDraft& e : *drafts) {
    for (RecordDraft& r : e.records) {
      YatImageGeometry& g = r.record.geometry;
      g.pixelFormat = PlaneFormat(g.pixelFormat);
      g.imageHeight *= kPlanes;
      g.lineCount *= kPlanes;
      if (!packed) continue;
      g.imageWidth *= step;
      g.imageHeight /= step;
      g.lineCount /= step;
      g.linePitch *= step;
      for (YatBhPiece& p : r.pieces) {
        p.firstLine /= step;
        p.height /= step;
        p.width *= step;
      }
    }
  }
  const std::size_t t = drafts->size();
  for (const std::uint32_t offset : {kPlaneOneOffset, kPlaneTwoOffset}) {
    const std::uint32_t plane = offset == kPlaneOneOffset ? 1 : 2;
    for (std::size_t j = 0; j < t; ++j) {
      ElementDraft copy = (*drafts)[j];
      copy.element.dmaChannel += offset;
      if (copy.element.dmaChannel >= YAT_HOST_CHANNELS) return QELHW_ERROR_ARG_INVALID;
      for (RecordDraft& r : copy.records)
        for (YatBhPiece& p : r.pieces) p.firstLine += r.record.geometry.imageHeight / kPlanes * plane;
      drafts->push_back(std::move(copy));
    }
  }
  const std::uint32_t channels = (*drafts)[0].element.dmaChannel + (*drafts)[1].element.dmaChannel * 0x100 +
                                 (*drafts)[2].element.dmaChannel * 0x10000;
  out->registers.push_back({YAT_REG_PLANE_CHANNELS, channels, 0xFFFFFFFF});
  const std::uint32_t width = (*drafts)[0].records.empty() ? 0 : (*drafts)[0].records[0].record.geometry.imageWidth;
  out->registers.push_back({YAT_REG_PLANE_WIDTH, width, 0xFFFFFFFF});
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_Transfer_BuildHost(const YatTransferInput& layout, const YatListResources& res,
                                   YatTransferLists* out) {
  YatTransferDesc d = layout.desc;
  if (layout.images.empty()) d.taps = d.tapInterleave = 1;  // direct host mode
  out->directHost = layout.images.empty();
  const std::uint32_t t = Yat_Transfer_Taps(d);
  const HostWindows windows = Windows(layout);
  if (t == 0 || windows.b.size() < (t < 2 ? 1 : t)) return QELHW_ERROR_ARG_INVALID;
  std::vector<YatBhPiece> pieces = HostPieces(windows, d, t);
  const YatHostBufferEntry& first = layout.hosts[0];
  if (pieces.size() == 1 && d.linesMerged == 0) {
    pieces[0].width = std::min(pieces[0].width, first.geometry.imageWidth);
    pieces[0].height = std::min(pieces[0].height, first.geometry.imageHeight);
  }
  const std::uint32_t m = Yat_Transfer_CycleMode(layout.hostList.cyclingMode);
  out->cycleMode = m;
  std::vector<ElementDraft> drafts(t);
  for (std::uint32_t j = 0; j < t; ++j) {
    const std::uint32_t channel = res.bhHostChannel + (d.taps < 3 ? 8 * j : j);
    if (channel >= YAT_HOST_CHANNELS) return QELHW_ERROR_ARG_INVALID;
    drafts[j].element = {channel, m, ReportedBuffers(m, layout.hosts.size()), 0};
  }
  for (std::size_t b = 0; b < layout.hosts.size(); ++b) {
    const YatHostBufferEntry& h = layout.hosts[b];
    YatBhBufferRecord base = BaseRecord(h, static_cast<std::uint32_t>(b), m, layout.hosts, d, layout.hostAddresses[b]);
    if (out->linesMerged) base.geometry = MergedGeometry(h.geometry, d.linesFactor);
    std::vector<RecordDraft> taps =
        TapRecords(base, BufferPieces(pieces, h, layout.hostList.listFlags, res.busWidth), t, d.taps);
    for (std::uint32_t j = 0; j < t; ++j) drafts[j].records.push_back(std::move(taps[j]));
  }
  const bool planes = (layout.hostList.listFlags & 0x40) != 0;
  if (planes)
    if (const QelHwStatus status = YatWithoutExceptions(
            QELHW_ERROR_INSUFFICIENT_MEMORY, [&] { return SplitPlanes(layout.hostList.listFlags, &drafts, out); });
        status != QELHW_OK)
      return status;
  out->channelsProgrammed = t;
  Link(drafts, &out->bhPieces, &out->bhRecords, &out->bh);
  out->header = {d.camera, d.dualMode, d.taps * (planes ? kPlanes : 1u), static_cast<std::uint32_t>(d.lastIndex) - 1, 0,
                 d.routeWord, d.eventId};
  return QELHW_OK;
}

namespace {

QelHwStatus BuildExtraHost(const YatTransferInput& input, std::uint32_t k, std::uint32_t channel,
                           YatHostLists* lists) {
  const YatTransferDesc& d = input.desc;
  const std::vector<YatHostBufferEntry>& hosts = input.extraHosts[k];
  const std::uint32_t n = std::max<std::uint32_t>(1, d.linesFactor);
  const std::uint32_t m = Yat_Transfer_CycleMode(input.extraLists[k].cyclingMode);
  lists->cycleMode = m;
  std::vector<ElementDraft> drafts(1);
  drafts[0].element = {channel, m, ReportedBuffers(m, hosts.size()), 0};
  for (std::size_t b = 0; b < hosts.size(); ++b) {
    const YatHostBufferEntry& h = hosts[b];
    RecordDraft draft;
    draft.record = BaseRecord(h, static_cast<std::uint32_t>(b), m, hosts, d, input.extraAddresses[k][b]);
    YatImageGeometry& g = draft.record.geometry;
    g.imageWidth *= n;
    g.imageHeight /= n;
    g.linePitch *= n;
    g.lineCount /= n;
    const std::int8_t step = (h.entryFlags & YAT_ENTRY_VERTICAL_FLIP) != 0 ? -1 : 1;
    draft.pieces.push_back(Region(step, h.geometry.left, h.geometry.topLine, h.geometry.linePitch * n,
                                  h.geometry.lineCount / n));
    drafts[0].records.push_back(std::move(draft));
  }
  Link(drafts, &lists->pieces, &lists->records, &lists->elements);
  lists->header = {d.camera, d.dualMode, d.taps, 0, 0, d.routeWord, d.eventId};
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_Transfer_BuildExtraHost(const YatTransferInput& input, std::uint32_t k, std::uint32_t channel,
                                        YatHostLists* lists) {
  if (k >= YAT_EXTRA_DESTINATIONS || input.extraHosts[k].empty() || channel >= YAT_HOST_CHANNELS)
    return QELHW_ERROR_ARG_INVALID;
  return YatWithoutExceptions(QELHW_ERROR_INSUFFICIENT_MEMORY,
                              [&] { return BuildExtraHost(input, k, channel, lists); });
}
