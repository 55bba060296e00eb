// The three lists of a transfer from its description: acquisition into
// on-board memory (AL), on-board memory into the layout of the output buffer
// (LB), and the output buffer into the host buffers (BH).
#include "driver/user/YatTransferLists.h"

#include <algorithm>
#include <cstring>

#include "driver/user/YatInternalBuffer.h"

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

std::int32_t LineStep(const YatTransferInput& in) {
  if (in.windowsA.empty() || in.images.empty() || in.images[0].frameWidth == 0) return 1;
  const YatImageWindow& first = in.windowsA[0];
  const auto step = static_cast<std::int32_t>(first.lineStep / in.images[0].frameWidth);
  return (first.flags & YAT_WINDOW_NEGATIVE_STEP) != 0 ? -step : step;
}

void BuildAl(const YatTransferInput& in, const YatListResources& res, YatTransferLists* out) {
  const YatLocalImage& image = in.images[0];
  const YatTransferDesc& d = in.desc;
  const std::uint32_t g = out->groups;
  const std::uint32_t t = out->taps;
  const auto w = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(in.windowsA.size()) / g);
  const std::uint32_t perTap = std::max<std::uint32_t>(1, g / t);
  const bool insertNotify = (in.hostList.listFlags & 0x3) != 0 && d.mirror == 0;
  for (const YatLocalImage& record : in.images)
    out->sources.push_back({record.sourceWord, d.camera, record.onboardAddress});
  out->alRegions.resize(static_cast<std::size_t>(g) * w);
  out->al.resize(g);
  for (std::uint32_t i = 0; i < g; ++i) {
    const YatImageWindow& last = in.windowsA[std::min<std::size_t>(i + (w - 1) * g, in.windowsA.size() - 1)];
    const YatImageWindow& own = in.windowsA[i];
    YatAlElement& e = out->al[i];
    e.dmaChannel = res.acqDma[i];
    if (insertNotify && (i + 1 == g || i + 1 == g / t)) e.optionWord = 0x2;
    e.geometry = {image.frameWidth, image.frameHeight, image.pixelFormat, last.x, image.windowY, last.width,
                  last.height};
    const std::uint32_t direction = (own.flags & YAT_WINDOW_BACKWARDS) != 0 ? 0xFF : 1;
    e.stepWord = direction | ((static_cast<std::uint32_t>(out->lineStep) & 0xFF) << 8);
    e.lastLineWord = image.windowHeight < in.windowsA[0].height ? 0x20 : (own.height == 0 ? 0 : own.height - 1);
    e.tapGroupMask = 1u << (res.acqDma[std::min(i / perTap, g - 1)] & 31);
    e.regionCount = w;
    for (std::uint32_t k = 0; k < w; ++k) {
      const std::size_t from = i + std::size_t{k} * g;
      const YatImageWindow& r = in.windowsA[std::min(from, in.windowsA.size() - 1)];
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

bool ReadInserts(std::uint64_t list, std::uint32_t count, std::vector<YatInsertSource>* out) {
  std::vector<std::uint64_t> handles;
  if (!CopyArray(list, count, YAT_MAX_CAMERA_INSERTS, &handles)) return false;
  for (const std::uint64_t handle : handles) {
    YatInsertSource source{handle};
    if (handle != 0) {
      YatInternalBuffer record{};
      std::memcpy(&record, At<YatInternalBuffer>(handle), sizeof record);
      source.tag = record.tag;
      source.address = record.onboardAddress;
      source.size = record.size;
    }
    out->push_back(source);
  }
  return true;
}

// Insert lists are read only as far as the host buffers' indexes reach, and
// only when the destination asks for insert pieces.
bool ReadInsertLists(YatTransferInput* in) {
  const std::uint32_t flags = in->hostList.listFlags;
  std::uint32_t insertReach = 1, cameraReach = 1;
  for (const YatHostBufferEntry& h : in->hosts) {
    if (h.insertIndex > YAT_MAX_INSERTS || h.cameraInsertIndex > YAT_MAX_CAMERA_INSERTS) return false;
    insertReach = std::max(insertReach, h.insertIndex);
    cameraReach = std::max(cameraReach, h.cameraInsertIndex);
  }
  const YatTransferDesc& d = in->desc;
  if ((flags & 0x3) != 0) {
    in->hasInsertA = d.insertListA != 0;
    in->hasInsertB = d.insertListB != 0;
    if (in->hasInsertA && !ReadInserts(d.insertListA, insertReach, &in->insertA)) return false;
    if (in->hasInsertB && !ReadInserts(d.insertListB, insertReach, &in->insertB)) return false;
  }
  if ((flags & 0x2000) != 0) {
    in->hasCameraInsert = d.cameraInsertList != 0;
    if (in->hasCameraInsert && !ReadInserts(d.cameraInsertList, cameraReach, &in->cameraInserts)) return false;
  }
  return true;
}

bool ReadHostList(std::uint64_t address, YatHostBufferList* list, std::vector<YatHostBufferEntry>* entries,
                  std::vector<std::uint64_t>* addresses) {
  std::memcpy(list, At<YatHostBufferList>(address), sizeof *list);
  if (!CopyArray(list->entries, list->bufferCount, YAT_MAX_HOST_BUFFERS, entries) || entries->empty()) return false;
  for (std::uint32_t b = 0; b < list->bufferCount; ++b)
    addresses->push_back(list->entries + std::uint64_t{b} * sizeof(YatHostBufferEntry));
  return true;
}

// An extra destination lives on the handle slot behind its index, and the
// handle has only three slots behind the main one.
bool ReadExtraLists(YatTransferInput* in) {
  if (in->desc.extraDestinations == 0) return true;
  for (std::uint32_t k = 0; k < YAT_EXTRA_DESTINATIONS; ++k) {
    if (in->desc.extraLists[k] == 0) continue;
    if (k + 1 >= YAT_HANDLE_SLOTS ||
        !ReadHostList(in->desc.extraLists[k], &in->extraLists[k], &in->extraHosts[k], &in->extraAddresses[k]))
      return false;
  }
  return true;
}

bool ReadImages(const YatTransferDesc& desc, YatTransferInput* input) {
  YatLocalImageList list{};
  std::memcpy(&list, At<YatLocalImageList>(desc.localImageList), sizeof list);
  if (list.images == 0) return true;  // direct host mode
  if (!CopyArray(list.images, list.count, YAT_MAX_LOCAL_IMAGES, &input->images)) return false;
  if (input->images.empty()) return true;
  const YatLocalImage& image = input->images[0];
  if (!CopyArray(image.windowsA, image.windowACount, YAT_MAX_IMAGE_WINDOWS, &input->windowsA) ||
      !CopyArray(image.windowsB, image.windowBCount, YAT_MAX_IMAGE_WINDOWS, &input->windowsB))
    return false;
  return YatBytesPerPixel(image.pixelFormat) != 0 && image.frameWidth != 0;
}

bool GeometryFits(const YatTransferInput& in) {
  const YatTransferDesc& d = in.desc;
  const std::uint32_t taps = Yat_Transfer_Taps(d);
  if (taps == 0 || taps > YAT_MAX_TAPS) return false;
  if (in.images.empty()) return true;
  // Merging must leave at least one line of every window and keep widths in range.
  if (d.linesFactor > 1) {
    if (d.linesFactor > YAT_MAX_LINES_FACTOR || in.images[0].frameHeight < d.linesFactor) return false;
    for (const YatImageWindow& a : in.windowsA)
      if (a.height < d.linesFactor) return false;
  }
  // Windows B are laid out against windows A: one without the other is not a transfer we can place.
  if (!in.windowsA.empty() && in.windowsB.empty()) return false;
  // Every tap has its own window B.
  if (taps > 1 && !in.windowsA.empty() && in.windowsB.size() < taps) return false;
  return Yat_Transfer_ChannelGroups(in) <= YAT_MAX_CHANNEL_GROUPS;
}

}  // namespace

QelHwStatus Yat_Transfer_ReadInput(const YatTransferDesc* desc, YatTransferInput* input) {
  if (desc == nullptr || input == nullptr || desc->localImageList == 0 || desc->hostBufferList == 0)
    return QELHW_ERROR_ARG_INVALID;
  input->desc = *desc;
  return YatWithoutExceptions(QELHW_ERROR_INSUFFICIENT_MEMORY, [&] {
    if (!ReadImages(*desc, input) ||
        !ReadHostList(desc->hostBufferList, &input->hostList, &input->hosts, &input->hostAddresses) ||
        !ReadInsertLists(input) || !ReadExtraLists(input) || !GeometryFits(*input))
      return QELHW_ERROR_ARG_INVALID;
    return QELHW_OK;
  });
}

std::uint32_t Yat_Transfer_Taps(const YatTransferDesc& d) {
  if (d.dualMode == 0) return d.taps;
  return d.dualMode == 1 ? 2 : 1;
}

std::uint32_t Yat_Transfer_ChannelGroups(const YatTransferInput& input) {
  const std::vector<YatImageWindow>& a = input.windowsA;
  if (a.empty()) return 0;
  const bool oneTap = Yat_Transfer_Taps(input.desc) == 1;
  std::uint32_t groups = 1;
  for (std::size_t i = 1; i < a.size(); ++i, ++groups)
    if (oneTap && a[i].x == a[0].x) break;
  return groups;
}

bool Yat_Transfer_HasLocalStages(const YatTransferInput& input) {
  return !input.images.empty() && !input.windowsA.empty();
}

std::uint32_t Yat_Transfer_BusWidth(std::uint32_t width, std::uint32_t format, std::uint32_t bus,
                                    std::uint32_t limit) {
  const std::uint32_t bytes = YatBytesPerPixel(format);
  if (bytes == 0 || bus == 0) return width;
  const std::uint64_t lineBytes = (std::uint64_t{width} * bytes + bus - 1) / bus * bus;
  if (lineBytes % bytes != 0 || lineBytes / bytes > limit) return width;
  return static_cast<std::uint32_t>(lineBytes / bytes);
}

QelHwStatus Yat_Transfer_BuildLists(const YatTransferInput& input, const YatListResources& resources,
                                    YatTransferLists* lists) {
  if (lists == nullptr) return QELHW_ERROR_ARG_INVALID;
  lists->taps = Yat_Transfer_Taps(input.desc);
  lists->groups = Yat_Transfer_ChannelGroups(input);
  if (lists->taps == 0 || lists->groups > YAT_MAX_CHANNEL_GROUPS) return QELHW_ERROR_ARG_INVALID;
  YatTransferInput layout;
  const QelHwStatus status = YatWithoutExceptions(QELHW_ERROR_INSUFFICIENT_MEMORY, [&] {
    layout = input;
    if (!Yat_Transfer_HasLocalStages(layout)) return QELHW_OK;
    if (input.desc.linesFactor > 1) MergeLines(&layout);
    lists->linesMerged = layout.desc.linesMerged != 0;
    lists->lineStep = LineStep(layout);
    BuildAl(layout, resources, lists);
    return Yat_Transfer_BuildLocal(layout, resources, lists);
  });
  if (status != QELHW_OK) return status;
  return YatWithoutExceptions(QELHW_ERROR_SYSTEM_RESOURCE,
                              [&] { return Yat_Transfer_BuildHost(layout, resources, lists); });
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
