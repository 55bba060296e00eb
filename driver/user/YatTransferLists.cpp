// The three lists of a transfer from its description: acquisition into
// on-board memory (AL), on-board memory into the layout of the output buffer
// (LB), and the output buffer into the host buffers (BH).
#include "driver/user/YatTransferLists.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T>
const T* At(std::uint64_t address) {
  return reinterpret_cast<const T*>(static_cast<std::uintptr_t>(address));
}
std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

template <class T>
bool CopyArray(std::uint64_t address, std::uint32_t count, std::uint32_t limit, std::vector<T>* out) {
  if (count > limit || (count != 0 && address == 0)) return false;
  out->resize(count);
  if (count != 0) std::memcpy(out->data(), At<T>(address), sizeof(T) * count);
  return true;
}

std::uint32_t Taps(const YatTransferDesc& d) {
  if (d.dualMode == 0) return d.taps;
  return d.dualMode == 1 ? 2 : 1;
}

std::int32_t LineStep(const YatTransferInput& in) {
  if (in.windowsA.empty() || in.images[0].frameWidth == 0) return 1;
  const YatImageWindow& first = in.windowsA[0];
  const auto step = static_cast<std::int32_t>(first.lineStep / in.images[0].frameWidth);
  return (first.flags & YAT_WINDOW_NEGATIVE_STEP) != 0 ? -step : step;
}

// Widens a line to whole bus words when that stays within `limit` pixels.
std::uint32_t BusWidth(std::uint32_t width, std::uint32_t format, std::uint32_t bus, std::uint32_t limit) {
  const std::uint32_t bytes = YatBytesPerPixel(format);
  if (bytes == 0 || bus == 0) return width;
  const std::uint32_t lineBytes = (width * bytes + bus - 1) / bus * bus;
  if (lineBytes % bytes != 0 || lineBytes / bytes > limit) return width;
  return lineBytes / bytes;
}

void BuildAl(const YatTransferInput& in, const YatListResources& res, YatTransferLists* out) {
  const YatLocalImage& image = in.images[0];
  const YatTransferDesc& d = in.desc;
  const std::uint32_t g = out->groups;
  const auto w = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(in.windowsA.size()) / g);
  for (const YatLocalImage& record : in.images)
    out->sources.push_back({record.sourceWord, d.camera, record.onboardAddress});
  out->alRegions.resize(static_cast<std::size_t>(g) * w);
  out->al.resize(g);
  for (std::uint32_t i = 0; i < g; ++i) {
    const YatImageWindow& last = in.windowsA[i + (w - 1) * g];
    const YatImageWindow& own = in.windowsA[i];
    YatAlElement& e = out->al[i];
    e.dmaChannel = res.acqDma[i];
    e.geometry = {image.frameWidth, image.frameHeight, image.pixelFormat, last.x, image.windowY, last.width,
                  last.height};
    const std::uint32_t direction = (own.flags & YAT_WINDOW_BACKWARDS) != 0 ? 0xFF : 1;
    e.stepWord = direction | ((static_cast<std::uint32_t>(out->lineStep) & 0xFF) << 8);
    e.lastLineWord = image.windowHeight < in.windowsA[0].height ? 0x20 : (own.height == 0 ? 0 : own.height - 1);
    e.tapGroupMask = 1u << (res.acqDma[0] / g);
    e.regionCount = w;
    for (std::uint32_t k = 0; k < w; ++k) {
      const YatImageWindow& r = in.windowsA[i + k * g];
      out->alRegions[i * w + k] = {r.x, r.y, r.width, r.height};
    }
    e.regions = Address(&out->alRegions[i * w]);
    e.sourceCount = static_cast<std::uint32_t>(out->sources.size());
    e.sources = Address(out->sources.data());
    e.flags = e.geometry.lineCount > e.geometry.imageHeight ? 1 : 0;
    const bool single = (in.hostList.listFlags & (0x200 | 0x60000000)) != 0;
    e.registerValue = single || d.linesFactor == 0 ? 1 : d.linesFactor;
    e.reserved = d.spareWord;
    e.mirror = static_cast<std::uint8_t>(d.mirror);
    e.taps = static_cast<std::uint8_t>(d.dualMode == 0 ? d.taps : 2);
  }
  out->overflow = in.windowsA[0].height > image.windowHeight;
}

YatLbPiece ImagePiece(const YatTransferInput& in, const YatImageWindow& window, const YatListResources& res) {
  const YatLocalImage& image = in.images[0];
  YatLbPiece p{};
  p.channelMask = static_cast<std::uint16_t>(1u << res.lbHostChannel);
  p.kindBits = YAT_IMAGE_PIECE_KIND;
  p.stampWord = Yat_Transfer_NotifyWord(in.hostList.listFlags, in.desc.camera);
  p.x = window.x;
  p.y = window.y;
  const std::uint32_t room = window.x < image.windowWidth ? image.windowWidth - window.x : 0;
  p.width = BusWidth(window.width, image.pixelFormat, res.busWidth, room);
  p.height = window.height;
  p.onboardAddress = YAT_IMAGE_PIECE_ADDRESS;
  return p;
}

void BuildLb(const YatTransferInput& in, const YatListResources& res, YatTransferLists* out) {
  const YatLocalImage& image = in.images[0];
  for (std::size_t i = 0; i < in.windowsA.size(); ++i) {
    const YatImageWindow& a = in.windowsA[i];
    const auto step = static_cast<std::int8_t>((out->al[i % out->groups].stepWord >> 8) & 0xFF);
    out->lbLines.push_back({step, a.x, a.y, a.width, a.height, 0});
  }
  for (const YatImageWindow& b : in.windowsB) out->lbPieces.push_back(ImagePiece(in, b, res));
  YatLbElement e{};
  e.dmaChannel = res.acqDma[0];
  for (std::uint32_t g = 0; g < out->groups; ++g) {
    const YatAlElement& al = out->al[g];
    const bool endsWindow = al.geometry.left + al.geometry.linePitch == image.windowWidth;
    if (endsWindow || (g + 1 == out->groups && in.desc.mirror == 0)) e.notifyMask |= 1u << al.dmaChannel;
  }
  e.geometry = {image.frameWidth, image.frameHeight, image.pixelFormat, image.windowX, image.windowY,
                in.windowsB[0].width, image.windowHeight};
  e.sourceCount = static_cast<std::uint32_t>(out->sources.size());
  e.sources = Address(out->sources.data());
  e.lineCount = static_cast<std::uint32_t>(out->lbLines.size());
  e.lines = Address(out->lbLines.data());
  e.pieceCount = static_cast<std::uint32_t>(out->lbPieces.size());
  e.pieces = Address(out->lbPieces.data());
  e.optionBits = out->lbPieces[0].height > image.frameHeight ? 1 : 0;
  out->overflow = out->overflow || e.optionBits != 0;
  e.chunkCount = 1;
  e.opensEveryRun = in.desc.linesFactor >= 2 ? 1 : 0;
  out->lb.push_back(e);
}

// Host pieces of one tap: one piece, or two when window B crosses the end of window A.
std::vector<YatBhPiece> HostPieces(const YatImageWindow& a, const YatImageWindow& b, std::int32_t step) {
  const auto direction = static_cast<std::uint8_t>(step);
  const std::uint32_t aEnd = a.y + a.height;
  if (b.y >= aEnd || b.y + b.height <= aEnd) return {{direction, {0, 0}, 0, 0, 0, 0, b.width, b.height}};
  const std::uint32_t firstHeight = a.height - b.y;
  const std::int32_t magnitude = step < 0 ? -step : step;
  return {{direction, {0, 0}, 0, 0, 0, 0, b.width, firstHeight},
          {static_cast<std::uint8_t>(magnitude), {0, 0}, 0, 0, 0, 0, b.width, b.height - firstHeight}};
}

YatImageGeometry MergedGeometry(const YatImageGeometry& g, std::uint32_t n) {
  if (n == 0) return g;
  return {g.imageWidth * n, g.imageHeight / n, g.pixelFormat, g.left + (g.topLine % n) * g.linePitch, g.topLine / n,
          g.linePitch * n, g.lineCount / n};
}

std::uint32_t RecordFlags(const YatHostBufferEntry& h, const YatTransferDesc& d) {
  std::uint32_t flags = 0;
  if ((h.bufferFlags & 0x60000000) != 0) flags |= 0x2;
  if ((h.bufferFlags & 0xF0000) != 0 || (d.routeWord == 7 && (d.eventId & 0xF0000) != 0)) flags |= 0x4;
  if ((h.bufferFlags & 0xF00000) != 0 || (d.routeWord == 7 && (d.eventId & 0xF00000) != 0)) flags |= 0x8;
  if ((h.bufferFlags & 0x40000000) != 0) flags |= 0x10;
  return flags | (h.notifyBits << 5);
}

void BuildBh(const YatTransferInput& in, const YatListResources& res, YatTransferLists* out) {
  const YatTransferDesc& d = in.desc;
  const YatHostBufferEntry& first = in.hosts[0];
  std::vector<YatBhPiece> pieces = HostPieces(in.windowsA[0], in.windowsB[0], out->lineStep);
  if (pieces.size() == 1 && d.linesMerged == 0) {
    const std::uint32_t width = first.geometry.imageWidth;
    const std::uint32_t height = first.geometry.imageHeight;
    if (pieces[0].width > width) pieces[0].width = width;
    if (pieces[0].height > height) pieces[0].height = height;
  }
  const std::size_t count = in.hosts.size();
  const std::uint32_t m = out->cycleMode;
  out->bhPieces.reserve(count * pieces.size());
  out->bhRecords.resize(count);
  for (std::size_t b = 0; b < count; ++b) {
    const YatHostBufferEntry& h = in.hosts[b];
    const std::size_t start = out->bhPieces.size();
    for (YatBhPiece p : pieces) {
      if ((in.hostList.listFlags & 0x400) != 0) p.width /= 2;
      if ((h.entryFlags & YAT_ENTRY_VERTICAL_FLIP) != 0) p.direction = static_cast<std::uint8_t>(-p.direction);
      p.width = BusWidth(p.width, h.geometry.pixelFormat, res.busWidth, h.geometry.imageWidth);
      out->bhPieces.push_back(p);
    }
    YatBhBufferRecord& r = out->bhRecords[b];
    r.endNotify = (m == 2 || m == 3) && count >= 2 ? (in.hosts.back().bufferFlags != 0 ? 1 : 0) : 1;
    r.readyOnly = m == 1 && h.bufferFlags != 0 ? 1 : 0;
    r.notifyOptions = RecordFlags(h, d);
    r.bufferIndex = static_cast<std::uint32_t>(b);
    r.camera = d.camera;
    r.geometry = h.geometry;
    if (out->linesMerged) r.geometry = MergedGeometry(h.geometry, d.linesFactor);
    r.lockRecord = in.hostAddresses[b] + YAT_HOST_BUFFER_LOCK_OFFSET;
    r.regionCount = static_cast<std::uint32_t>(pieces.size());
    r.regions = Address(&out->bhPieces[start]);
  }
  const auto buffers = static_cast<std::uint32_t>(count);
  const std::uint32_t reported = (m == 2 || m == 3) && buffers >= 2 ? buffers - 1 : buffers;
  out->bh.push_back({res.bhHostChannel, m, reported, Address(out->bhRecords.data())});
  out->header = {d.camera, d.dualMode, d.taps, static_cast<std::uint32_t>(d.lastIndex) - 1, 0, d.routeWord, d.eventId};
}

// N camera lines become one line N times as wide, in the on-board layout
// every later stage works from.
void MergeLines(YatTransferInput* in) {
  const std::uint32_t n = in->desc.linesFactor;
  for (YatLocalImage& image : in->images) {
    image.frameWidth *= n;
    image.windowWidth *= n;
    image.frameHeight /= n;
    image.windowHeight /= n;
  }
  for (YatImageWindow& a : in->windowsA) {
    a.width *= n;
    a.lineStep *= n;
    a.height /= n;
  }
  for (YatImageWindow& b : in->windowsB) {
    b.x = 0;
    b.width *= n;
    b.lineStep *= n;
    b.y /= n;
    b.height /= n;
  }
  in->desc.linesMerged = 1;
}

}  // namespace

QelHwStatus Yat_Transfer_ReadInput(const YatTransferDesc* desc, YatTransferInput* input) {
  if (desc == nullptr || input == nullptr || desc->localImageList == 0 || desc->hostBufferList == 0)
    return QELHW_ERROR_ARG_INVALID;
  input->desc = *desc;
  YatLocalImageList list{};
  std::memcpy(&list, At<YatLocalImageList>(desc->localImageList), sizeof list);
  if (!CopyArray(list.images, list.count, YAT_MAX_LOCAL_IMAGES, &input->images) || input->images.empty())
    return QELHW_ERROR_ARG_INVALID;
  const YatLocalImage& image = input->images[0];
  if (!CopyArray(image.windowsA, image.windowACount, YAT_MAX_IMAGE_WINDOWS, &input->windowsA) ||
      !CopyArray(image.windowsB, image.windowBCount, YAT_MAX_IMAGE_WINDOWS, &input->windowsB))
    return QELHW_ERROR_ARG_INVALID;
  std::memcpy(&input->hostList, At<YatHostBufferList>(desc->hostBufferList), sizeof input->hostList);
  const YatHostBufferList& hosts = input->hostList;
  if (!CopyArray(hosts.entries, hosts.bufferCount, YAT_MAX_HOST_BUFFERS, &input->hosts) || input->hosts.empty())
    return QELHW_ERROR_ARG_INVALID;
  for (std::uint32_t b = 0; b < hosts.bufferCount; ++b)
    input->hostAddresses.push_back(hosts.entries + std::uint64_t{b} * sizeof(YatHostBufferEntry));
  if (YatBytesPerPixel(image.pixelFormat) == 0 || image.frameWidth == 0) return QELHW_ERROR_ARG_INVALID;
  // Merging must leave at least one line of every window and keep widths in range.
  if (desc->linesFactor > 1) {
    if (desc->linesFactor > YAT_MAX_LINES_FACTOR || image.frameHeight < desc->linesFactor) return QELHW_ERROR_ARG_INVALID;
    for (const YatImageWindow& a : input->windowsA)
      if (a.height < desc->linesFactor) return QELHW_ERROR_ARG_INVALID;
  }
  // Windows B are laid out against windows A: one without the other is not a transfer we can place.
  if (!input->windowsA.empty() && input->windowsB.empty()) return QELHW_ERROR_ARG_INVALID;
  if (Yat_Transfer_ChannelGroups(*input) > YAT_MAX_CHANNEL_GROUPS) return QELHW_ERROR_ARG_INVALID;
  return QELHW_OK;
}

std::uint32_t Yat_Transfer_ChannelGroups(const YatTransferInput& input) {
  const std::vector<YatImageWindow>& a = input.windowsA;
  if (a.empty()) return 0;
  const bool oneTap = Taps(input.desc) == 1;
  std::uint32_t groups = 1;
  for (std::size_t i = 1; i < a.size(); ++i, ++groups)
    if (oneTap && a[i].x == a[0].x) break;
  return groups;
}

QelHwStatus Yat_Transfer_CheckSupported(const YatTransferInput& input) {
  const YatTransferDesc& d = input.desc;
  const std::uint32_t flags = input.hostList.listFlags;
  const bool extras = d.extraDestinations != 0 || d.extraLists[0] != 0;
  const bool unsupported = Taps(d) != 1 || (flags & (0x3 | 0x2000 | 0x40 | 0x60000000)) != 0 ||
                           d.mirror != 0 || extras || input.windowsA.empty();
  return unsupported ? QELHW_ERROR_NOT_SUPPORTED : QELHW_OK;
}

QelHwStatus Yat_Transfer_BuildLists(const YatTransferInput& input, const YatListResources& resources,
                                    YatTransferLists* lists) {
  if (lists == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (const QelHwStatus status = Yat_Transfer_CheckSupported(input); status != QELHW_OK) return status;
  YatTransferInput layout = input;
  if (input.desc.linesFactor > 1) MergeLines(&layout);
  lists->linesMerged = layout.desc.linesMerged != 0;
  lists->taps = Taps(layout.desc);
  lists->groups = Yat_Transfer_ChannelGroups(layout);
  lists->lineStep = LineStep(layout);
  lists->cycleMode = Yat_Transfer_CycleMode(layout.hostList.cyclingMode);
  BuildAl(layout, resources, lists);
  BuildLb(layout, resources, lists);
  BuildBh(layout, resources, lists);
  return QELHW_OK;
}

std::uint32_t Yat_Transfer_NotifyWord(std::uint32_t f, std::uint32_t camera) {
  if ((f & 0x80000000) != 0) return 0x8000;
  struct Rule {
    std::uint32_t mask;
    std::uint32_t adds;
  };
  static constexpr Rule kRules[] = {{0x4, 0x40},         {0x4000, 0x80},  {0x40, 0x800},
                                    {0x20 | 0x8000 | 0x40000, 0x400},   {0x80000 | 0x10000 | 0x20000, 0x4000},
                                    {0x10, 0x200},       {0x1 | 0x2, 0x10}, {0x8, 0x20}, {0x400, 0x1000}};
  std::uint32_t word = 0;
  for (const Rule& rule : kRules)
    if ((f & rule.mask) != 0) word |= rule.adds;
  if ((f & (0x2000 | 0x1000)) != 0) word |= camera == 1 ? 0x200 : 0x2;
  return word;
}

std::uint32_t Yat_Transfer_CycleMode(std::uint32_t cyclingMode) {
  switch (cyclingMode) {
    case 3: return 3;
    case 4: return 4;
    case 5: case 6: case 7: return 2;
    default: return 1;
  }
}
