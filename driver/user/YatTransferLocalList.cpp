// The LB list: the lines of the on-board frame re-read and assembled into
// the layout of the output buffer, with the insert pieces of on-board
// buffers in front of the image data of every chunk of a line.
#include <algorithm>
#include <set>

#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransferLists.h"

namespace {

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

struct InsertKind {
  std::uint32_t kind;
  std::uint32_t list;  // 0 insert A, 1 insert B, 2 camera insert
  YatInsertSource source;
};

// One LB element with its own pieces until the arrays are laid out.
struct LocalElement {
  YatLbElement element{};
  std::vector<YatLbPiece> pieces;
  std::size_t firstLine = 0;
  std::size_t source = 0;  // index of its first source entry
};

struct LocalBuild {
  LocalBuild(const YatTransferInput& input, const YatListResources& resources, YatTransferLists* lists)
      : in(input), res(resources), out(lists) {}
  const YatTransferInput& in;
  const YatListResources& res;
  YatTransferLists* out;
  std::vector<InsertKind> kinds;
  std::uint32_t bytesPerPixel = 1;
  std::uint32_t extraCount = 0;  // enabled extra destinations
  std::vector<LocalElement> elements;
};

bool IsInsert(std::uint32_t kind) { return kind == YAT_INSERT_PIECE_KIND || kind == YAT_SECOND_INSERT_KIND; }

const std::vector<YatInsertSource>& ListOf(const YatTransferInput& in, std::uint32_t list) {
  return list == 0 ? in.insertA : list == 1 ? in.insertB : in.cameraInserts;
}

// The pieces in front of the image, filled from the first host buffer.
QelHwStatus TakeInsertKinds(LocalBuild& b) {
  const YatTransferInput& in = b.in;
  const std::uint32_t flags = in.hostList.listFlags;
  const YatHostBufferEntry& first = in.hosts[0];
  if ((flags & 0x3) != 0) {
    if (!in.hasInsertA || first.insertIndex == 0) return QELHW_ERROR_ARG_INVALID;
    b.kinds.push_back({YAT_INSERT_PIECE_KIND, 0, in.insertA[first.insertIndex - 1]});
    if (in.hasInsertB && !in.insertB.empty() && in.insertB[0].handle != 0 && in.insertB[0].size != 0) {
      const std::uint32_t kind = (flags & 0x80000) != 0 ? YAT_SECOND_INSERT_KIND : YAT_INSERT_PIECE_KIND;
      b.kinds.push_back({kind, 1, in.insertB[first.insertIndex - 1]});
    }
  }
  if ((flags & 0x2000) != 0) {
    if (!in.hasCameraInsert || first.cameraInsertIndex == 0) return QELHW_ERROR_ARG_INVALID;
    b.kinds.push_back({in.desc.camera == 1 ? 0x100u : 0x1u, 2, in.cameraInserts[first.cameraInsertIndex - 1]});
  }
  return QELHW_OK;
}

void BuildLines(LocalBuild& b) {
  const std::vector<YatImageWindow>& a = b.in.windowsA;
  const bool reversed = b.in.desc.mirror != 0 && b.in.desc.dualMode == 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const YatImageWindow& w = a[reversed ? a.size() - 1 - i : i];
    const auto step = static_cast<std::int8_t>((b.out->al[i % b.out->groups].stepWord >> 8) & 0xFF);
    b.out->lbLines.push_back({step, w.x, w.y, w.width, w.height, 0});
  }
}

// The piece of window-B entry `w` as it would stand alone.
QelHwStatus Template(const LocalBuild& b, const YatImageWindow& window, std::uint32_t w, YatLbPiece* p) {
  const YatTransferInput& in = b.in;
  const YatLocalImage& image = in.images[0];
  const std::uint32_t flags = in.hostList.listFlags;
  const std::uint32_t taps = b.out->taps;
  *p = YatLbPiece{};
  std::uint32_t x = window.x;
  if (in.desc.mirror != 0) {
    const std::uint32_t f = (flags & 0x3) != 0 && b.bytesPerPixel == 1 ? 2 : 1;
    const std::uint32_t span = image.windowWidth / f;
    x = span > window.width + window.x ? span - window.width - window.x : 0;
  }
  std::uint32_t shift = b.res.lbHostChannel;
  if (in.desc.taps < 3 && taps >= 2 && in.windowsB.size() >= 2) shift += 8 * w;
  else if (in.desc.taps >= 3) shift += w;
  const bool planes = (flags & 0x40) != 0;
  if (shift + (planes ? 2 : 0) >= YAT_HOST_CHANNELS) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t mask = 1u << shift;
  if (planes) mask |= 1u << (shift + 1) | 1u << (shift + 2);
  p->channelMask = static_cast<std::uint16_t>(mask);
  p->kindBits = YAT_IMAGE_PIECE_KIND;
  p->stampWord = Yat_Transfer_NotifyWord(flags, in.desc.camera);
  p->x = x;
  p->y = window.y;
  const std::uint32_t room = x < image.windowWidth ? image.windowWidth - x : 0;
  p->width = Yat_Transfer_BusWidth(window.width, image.pixelFormat, b.res.busWidth, room);
  p->height = window.height;
  p->onboardAddress = YAT_IMAGE_PIECE_ADDRESS;
  if ((flags & 0x60000000) != 0) {
    p->width /= 2;
    const bool quarter = (flags & 0x20000000) != 0;
    const std::uint32_t code = (flags & 0x4004) != 0 ? (quarter ? 5u : 3u) : 0u;
    p->onboardAddress = quarter ? p->width : 0;
    p->flags |= code << YAT_LB_COMPONENT_SHIFT;
  }
  return QELHW_OK;
}

// A camera insert longer than the window's line spills over into one more line.
void ExtendLastLine(LocalBuild& b, const YatInsertSource& insert) {
  const YatLocalImage& image = b.in.images[0];
  const std::uint64_t windowBytes = std::uint64_t{image.windowWidth} * b.bytesPerPixel;
  if (insert.size <= windowBytes || b.out->lbLines.empty()) return;
  const YatLbLine last = b.out->lbLines.back();
  const auto width = static_cast<std::uint32_t>((insert.size - windowBytes) / b.bytesPerPixel);
  b.out->lbLines.push_back({last.lineStep, last.x + last.width, last.y, width, 1, 1});
}

// The pieces of one window-B entry: per chunk its insert pieces, then the image.
void ChunkPieces(LocalBuild& b, const YatLbPiece& tmpl, std::uint32_t chunks, std::vector<YatLbPiece>* pieces) {
  const std::uint32_t k = static_cast<std::uint32_t>(b.kinds.size());
  const std::uint32_t flags = b.in.hostList.listFlags;
  const bool doubled = k == 1 && b.bytesPerPixel == 1;
  for (std::uint32_t c = 0; c < chunks; ++c) {
    const std::uint32_t x = tmpl.x + YAT_CHUNK_WIDTH * c;
    const std::uint32_t done = YAT_CHUNK_WIDTH * c;
    const std::uint32_t rest = tmpl.width > done ? tmpl.width - done : 0;
    const std::uint32_t width = c + 1 == chunks ? rest : std::min(rest, YAT_CHUNK_WIDTH);
    for (const InsertKind& kind : b.kinds) {
      YatLbPiece p = tmpl;
      p.kindBits = static_cast<std::uint16_t>(kind.kind);
      p.onboardAddress = kind.source.address;
      p.flags |= YAT_LB_ABSOLUTE_ADDRESS;
      if (IsInsert(kind.kind)) {
        p.channelMask = 0;
        p.oneLine = (flags & 0x2) != 0 ? 1 : 0;
        p.x = doubled ? x * 2 : x;
        p.width = doubled ? width * 2 : width;
      } else {
        p.x = 0;
        p.height = 1;
        p.width = kind.source.size / b.bytesPerPixel;
        p.splitWidth = static_cast<std::uint16_t>(b.bytesPerPixel >= 3 ? kind.source.size / 3 : kind.source.size);
      }
      pieces->push_back(p);
    }
    YatLbPiece image = tmpl;
    image.x = x;
    image.width = (flags & 0x3) != 0 && doubled ? width * 2 : width;
    image.onboardAddress = YAT_IMAGE_PIECE_ADDRESS;
    pieces->push_back(image);
  }
}

QelHwStatus BuildPieces(LocalBuild& b, std::uint32_t chunks, std::vector<YatLbPiece>* pieces) {
  const YatTransferInput& in = b.in;
  std::vector<YatImageWindow> windows = in.windowsB;
  if (in.desc.mirror != 0) std::reverse(windows.begin(), windows.end());
  for (std::uint32_t w = 0; w < windows.size(); ++w) {
    YatLbPiece tmpl{};
    if (const QelHwStatus status = Template(b, windows[w], w, &tmpl); status != QELHW_OK) return status;
    if (b.kinds.empty()) pieces->push_back(tmpl);
    else ChunkPieces(b, tmpl, chunks, pieces);
  }
  for (const InsertKind& kind : b.kinds)
    if (!IsInsert(kind.kind)) ExtendLastLine(b, kind.source);
  return QELHW_OK;
}

// One camera per board and a line that fits one chunk: the insert pieces
// shrink to one line of the merged width, which the board must know.
void OneLineInserts(LocalBuild& b, std::uint32_t chunks, std::vector<YatLbPiece>* pieces) {
  if ((b.in.hostList.listFlags & 0x2) == 0 || chunks != 1 || b.kinds.empty() || pieces->empty()) return;
  const std::uint32_t n = std::max<std::uint32_t>(1, b.in.desc.linesFactor);
  const std::uint32_t width = (*pieces)[0].width / n;
  std::uint32_t value = 0;
  if (b.res.cameraCount == 1 && width <= YAT_CHUNK_WIDTH) {
    for (YatLbPiece& p : *pieces)
      if (IsInsert(p.kindBits)) {
        p.height = 1;
        p.width = width;
      }
    value = width;
  }
  b.out->registers.push_back({YAT_REG_INSERT_WIDTH, value << 16, 0xFFFF0000});
}

std::uint32_t NotifyMask(const LocalBuild& b, std::uint32_t e) {
  const YatTransferLists& out = *b.out;
  const std::uint32_t windowWidth = b.in.images[0].windowWidth;
  std::uint32_t mask = 0;
  for (std::uint32_t g = 0; g < out.groups; ++g) {
    const YatAlElement& al = out.al[g];
    const bool endsWindow = al.geometry.left + al.geometry.linePitch == windowWidth;
    if (!endsWindow && !(g + 1 == out.groups && b.in.desc.mirror == 0)) continue;
    mask |= 1u << ((out.taps == 1 ? al.dmaChannel : out.al[std::min(e, out.groups - 1)].dmaChannel) & 31);
  }
  return mask;
}

void BuildElements(LocalBuild& b, std::uint32_t chunks, const std::vector<YatLbPiece>& pieces) {
  const YatTransferInput& in = b.in;
  const YatLocalImage& image = in.images[0];
  YatTransferLists& out = *b.out;
  const std::uint32_t t = out.taps;
  const std::uint32_t k = static_cast<std::uint32_t>(b.kinds.size());
  const std::uint32_t count = t > 1 && in.windowsB.size() > 1 ? t : 1;
  const std::size_t linesPer = std::max<std::size_t>(1, out.lbLines.size() / t);
  const std::size_t piecesPer = std::max<std::size_t>(1, pieces.size() / t);
  const std::uint32_t perLine = k > 0 ? (k + 1) * chunks : 1;
  const std::uint32_t extraWord = in.desc.extraDestinations != 0 ? in.desc.extraDestinations + 1 : 1;
  for (std::uint32_t e = 0; e < count; ++e) {
    LocalElement local;
    YatLbElement& el = local.element;
    el.dmaChannel = out.al[std::min(e, out.groups - 1)].dmaChannel;
    el.notifyMask = NotifyMask(b, e);
    const YatImageWindow& window = in.windowsB[std::min<std::size_t>(e, in.windowsB.size() - 1)];
    const std::uint32_t frameLines = k > 0 ? image.frameHeight * perLine * (b.extraCount + 1) : image.frameHeight;
    const std::uint32_t windowLines = k > 0 ? window.height * perLine : image.windowHeight;
    el.geometry = {image.frameWidth, frameLines * extraWord, image.pixelFormat, image.windowX, image.windowY,
                   window.width, windowLines * extraWord};
    el.sourceCount = static_cast<std::uint32_t>(out.sources.size());
    el.stamp = k != 0 ? 1 : 0;
    local.firstLine = std::min(e * linesPer, out.lbLines.size());
    el.lineCount = static_cast<std::uint32_t>(std::min(linesPer, out.lbLines.size() - local.firstLine));
    const std::size_t from = std::min(e * piecesPer, pieces.size());
    const std::size_t to = std::min(from + piecesPer, pieces.size());
    local.pieces.assign(pieces.begin() + static_cast<std::ptrdiff_t>(from), pieces.begin() + static_cast<std::ptrdiff_t>(to));
    el.optionBits = !local.pieces.empty() && local.pieces[0].height > frameLines / perLine ? 1 : 0;
    out.overflow = out.overflow || el.optionBits != 0;
    el.period = in.desc.extraDestinations;
    el.chunkCount = chunks;
    el.opensEveryRun = in.desc.linesFactor >= 2 ? 1 : 0;
    b.elements.push_back(std::move(local));
  }
  // A one-byte pixel travels with its insert byte, so each line holds twice the bytes.
  if (k == 1 && b.bytesPerPixel == 1 && (in.hostList.listFlags & 0x3) != 0) {
    for (LocalElement& local : b.elements) {
      local.element.geometry.linePitch *= 2;
      for (std::size_t p = 1; p < local.pieces.size(); p += 2) local.pieces[p].width /= 2;
    }
    for (YatLbLine& line : out.lbLines) {
      line.x *= 2;
      line.width *= 2;
    }
  }
}

std::uint32_t Distinct(const std::vector<YatHostBufferEntry>& hosts, std::uint32_t YatHostBufferEntry::*field,
                       std::size_t most) {
  std::set<std::uint32_t> seen;
  for (const YatHostBufferEntry& h : hosts) {
    if (seen.size() >= most) break;
    seen.insert(h.*field);
  }
  return static_cast<std::uint32_t>(seen.size());
}

// Host buffer j's own insert and camera insert addresses into copy j. The
// pieces of a chunk are its kinds in order, then the image.
QelHwStatus AddressInserts(const LocalBuild& b, const YatHostBufferEntry& host, std::vector<YatLbPiece>* pieces) {
  const std::size_t period = b.kinds.size() + 1;
  for (std::size_t at = 0; at < pieces->size(); ++at) {
    if (at % period == b.kinds.size()) continue;
    const InsertKind& kind = b.kinds[at % period];
    const std::uint32_t index = kind.list == 2 ? host.cameraInsertIndex : host.insertIndex;
    if (kind.list == 0 && !b.in.hasInsertA) return QELHW_ERROR_RESOURCE_NOT_ALLOCATED;
    if (index == 0) continue;
    const std::vector<YatInsertSource>& list = ListOf(b.in, kind.list);
    if (index > list.size() || list[index - 1].handle == 0 || list[index - 1].tag != YAT_INTERNAL_BUFFER_TAG)
      return QELHW_ERROR_RESOURCE_NOT_ALLOCATED;
    (*pieces)[at].onboardAddress = list[index - 1].address;
  }
  return QELHW_OK;
}

// Host buffers with inserts of their own: one element per source buffer,
// each carrying the inserts of the host buffer it will end up in.
QelHwStatus Replicate(LocalBuild& b) {
  const std::vector<YatHostBufferEntry>& hosts = b.in.hosts;
  if (b.kinds.empty()) return QELHW_OK;
  if (Distinct(hosts, &YatHostBufferEntry::insertIndex, YAT_MAX_INSERTS) <= 1 &&
      Distinct(hosts, &YatHostBufferEntry::cameraInsertIndex, YAT_MAX_CAMERA_INSERTS) <= 1)
    return QELHW_OK;
  const auto buffers = static_cast<std::uint32_t>(hosts.size());
  const std::uint32_t m = b.out->cycleMode;
  const std::uint32_t reported = (m == 2 || m == 3) && buffers >= 2 ? buffers - 1 : buffers;
  std::vector<LocalElement> copies;
  for (const LocalElement& local : b.elements) {
    for (std::size_t j = 0; j < b.out->sources.size(); ++j) {
      LocalElement copy = local;
      copy.element.sourceCount = 1;
      copy.source = j;
      const QelHwStatus status = AddressInserts(b, hosts[j % reported], &copy.pieces);
      if (status != QELHW_OK) return status;
      copies.push_back(std::move(copy));
    }
  }
  b.elements = std::move(copies);
  return QELHW_OK;
}

// Every extra destination that takes a copy of the image gets the last piece
// of each element once more, on its own host channel.
QelHwStatus AppendExtraPieces(LocalBuild& b) {
  for (std::uint32_t k = 0; k < YAT_EXTRA_DESTINATIONS; ++k) {
    if (b.in.extraHosts[k].empty() || (b.in.extraLists[k].listFlags & 0x80000000) != 0) continue;
    const std::uint32_t channel = b.res.slotChannels[k + 1];
    if (channel >= YAT_HOST_CHANNELS) return QELHW_ERROR_ARG_INVALID;
    for (LocalElement& local : b.elements) {
      if (local.pieces.empty()) continue;
      YatLbPiece p = local.pieces.back();
      p.channelMask = static_cast<std::uint16_t>(1u << channel);
      p.stampWord = Yat_Transfer_NotifyWord(b.in.extraLists[k].listFlags, b.in.desc.camera);
      local.pieces.push_back(p);
    }
  }
  return QELHW_OK;
}

void LayOut(LocalBuild& b) {
  YatTransferLists& out = *b.out;
  std::size_t total = 0;
  for (const LocalElement& local : b.elements) total += local.pieces.size();
  out.lbPieces.clear();
  out.lbPieces.reserve(total);
  out.lb.clear();
  for (LocalElement& local : b.elements) {
    YatLbElement el = local.element;
    el.sources = Address(&out.sources[local.source]);
    el.lines = Address(out.lbLines.data() + local.firstLine);
    el.pieceCount = static_cast<std::uint32_t>(local.pieces.size());
    el.pieces = Address(out.lbPieces.data() + out.lbPieces.size());
    out.lbPieces.insert(out.lbPieces.end(), local.pieces.begin(), local.pieces.end());
    out.lb.push_back(el);
  }
}

}  // namespace

QelHwStatus Yat_Transfer_BuildLocal(const YatTransferInput& layout, const YatListResources& resources,
                                    YatTransferLists* lists) {
  LocalBuild b{layout, resources, lists};
  b.bytesPerPixel = YatBytesPerPixel(layout.images[0].pixelFormat);
  for (const std::vector<YatHostBufferEntry>& extra : layout.extraHosts)
    if (!extra.empty()) ++b.extraCount;
  lists->cycleMode = Yat_Transfer_CycleMode(layout.hostList.cyclingMode);
  if (const QelHwStatus status = TakeInsertKinds(b); status != QELHW_OK) return status;
  lists->insertKinds = static_cast<std::uint32_t>(b.kinds.size());
  const std::uint32_t w = layout.windowsB.empty() ? layout.images[0].windowWidth : layout.windowsB[0].width;
  const std::uint32_t chunks = (layout.hostList.listFlags & 0x3) != 0 ? std::max<std::uint32_t>(1, (w + YAT_CHUNK_WIDTH - 1) / YAT_CHUNK_WIDTH) : 1;
  lists->chunks = chunks;
  BuildLines(b);
  std::vector<YatLbPiece> pieces;
  if (const QelHwStatus status = BuildPieces(b, chunks, &pieces); status != QELHW_OK) return status;
  OneLineInserts(b, chunks, &pieces);
  BuildElements(b, chunks, pieces);
  if (const QelHwStatus status = Replicate(b); status != QELHW_OK) return status;
  if (const QelHwStatus status = AppendExtraPieces(b); status != QELHW_OK) return status;
  LayOut(b);
  return QELHW_OK;
}
