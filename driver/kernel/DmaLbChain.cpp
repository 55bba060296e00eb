// LB descriptor chains: the pieces of every window line, read from the
// acquisition buffer (or a stamp's on-board buffer), each cut named with the
// host channels that receive it. Addresses of image pieces are offsets into
// the buffer of the entry that starts the chain.
//
// Passes: the window's lines walk the acquisition buffer's lines from the
// top; a window taller than the buffer walks it again and again, each walk a
// pass. A buffer whose element has option bit 0 is filled by an AL ring that
// closes back on its line 1, so every pass after the first reads lines
// 1 .. count - 1; otherwise every pass reads lines 0 .. count - 1.
#include <algorithm>

#include "driver/kernel/DmaTable.h"
#include "driver/kernel/OnboardMemoryAccess.h"
#include "driver/kernel/StavroLog.h"

namespace {

constexpr std::uint64_t kImageData = 0xFFFFFFFFull;
constexpr std::uint32_t kPieceAbsolute = 0x1;     // piece flags: the address names on-board memory as it stands
constexpr std::uint32_t kPieceSplitMarks = 0x1;   // with a split width: each split opens and closes
constexpr std::uint32_t kPieceStepBack = 0x4;     // with a split width: the last split reads two splits back
constexpr std::uint32_t kLbOptionRingFromLine1 = 0x1;

struct LbBuild {
  YatBoardExtension* board;
  YatXferObject* transfer;
  DmaResult* result;
  YatLocalDescriptor* previous = nullptr;
  std::uint32_t head = 0;
};

bool LbEmit(LbBuild& build, std::uint32_t address, const YatLbPiece& piece, std::uint32_t control) {
  std::uint32_t self = 0;
  YatLocalDescriptor* descriptor = DmaNextLocalDescriptor(build.board, build.transfer, build.result, &self);
  if (descriptor == nullptr) return false;
  descriptor->address = address;
  descriptor->channelMask = piece.channelMask;
  descriptor->kindBits = piece.kindBits;
  descriptor->control = control;
  if (build.head == 0) {
    build.head = self;
    build.result->head[0] = self;
  }
  if (build.previous != nullptr) build.previous->next = self;
  descriptor->next = build.head;
  build.previous = descriptor;
  return true;
}

// Where a window line reads in the acquisition buffer, and where it stands
// in its pass.
struct WindowLine {
  std::uint32_t index;
  std::uint32_t row;  // line of the buffer, from the element's top line
  bool passStart;
  bool passEnd;
  bool last;          // the window's last line
};

WindowLine WindowLineOf(const YatLbElement& e, std::uint32_t line, std::uint32_t windowLines) {
  const std::uint32_t count = e.geometry.imageHeight ? e.geometry.imageHeight : 1;
  WindowLine w{line, line % count, false, false, line + 1 == windowLines};
  std::uint32_t first = 0;
  if ((e.optionBits & kLbOptionRingFromLine1) != 0 && count > 1 && line >= count) {
    const std::uint32_t ring = count - 1;
    w.row = line % ring == 0 ? ring : line % ring;
    first = 1;
  }
  w.passStart = w.row == first;
  w.passEnd = w.row + 1 == count || w.last;
  return w;
}

// How the cuts of one piece's run on one line are marked.
struct RunMarks {
  bool opens;        // the run's first cut opens the line
  bool closes;       // the run's last cut closes it
  bool opensFrame;   // the run's first cut is the piece's first of the frame
};

RunMarks MarksOf(const YatLbElement& e, const YatLbPiece& piece, std::uint32_t p, const WindowLine& w) {
  const std::uint32_t period = e.period;
  const bool periodic = period != 0 && p % period == 0;
  const bool lastPiece = p + 1 == e.pieceCount && (e.chunkCount <= 1 || p >= e.pieceCount / e.chunkCount);
  RunMarks marks{p < 2 || periodic, lastPiece || periodic, w.index == 0};
  // A stamp element's split pieces past the period are read inside the line another piece opened.
  if (e.stamp != 0 && piece.splitWidth != 0 && period != 0 && p > period) marks.opens = false;
  return marks;
}

// One cut of a run: its size, whether it opens or closes its line, and
// whether it is the run's first or last (a pass opens and closes only with
// the run, however the split widths cut it).
struct Cut {
  std::uint32_t bytes;
  bool opens;
  bool closes;
  bool runFirst;
  bool runLast;
};

std::uint32_t CutControl(const YatLbElement& e, const YatLbPiece& piece, const WindowLine& w, const RunMarks& marks,
                         const Cut& cut) {
  std::uint32_t control = (cut.bytes & 0xFFF) | (piece.stampWord & 0x3) << 16;
  if (cut.runFirst && marks.opensFrame) control |= YAT_LB_FRAME_OPEN | YAT_LB_FIRST_PASS_LINE0;
  const bool notifying = DmaLineNotifies(e.notifyOptions, w.index);
  if (cut.opens) {
    control |= YAT_LB_LINE_OPEN;
    if (e.stamp != 0 && w.passStart && cut.runFirst) control |= YAT_LB_PASS_OPEN;
    if (notifying && (e.notifyOptions & 0x1) != 0) control |= 1u << 18;
  }
  if (cut.closes) {
    control |= YAT_LB_LINE_CLOSE;
    if (w.passEnd && cut.runLast) control |= YAT_LB_PASS_CLOSE | (w.last ? YAT_LB_LAST_LINE : 0);
    if (notifying && (e.notifyOptions & 0x2) != 0) control |= 1u << 19;
  }
  return control;
}

// The cuts of one run of `bytes` bytes from on-board `source`: at most up to
// the next 2048-byte boundary and, with a split width, at most up to the
// next multiple of it.
bool LbCutRun(LbBuild& build, const YatLbElement& e, const YatLbPiece& piece, std::uint64_t source,
              std::uint32_t bytes, const WindowLine& w, const RunMarks& marks) {
  const std::uint32_t split = piece.splitWidth;
  const bool splitMarks = split != 0 && (piece.flags & kPieceSplitMarks) != 0;
  const bool stepBack = splitMarks && (piece.flags & kPieceStepBack) != 0;
  std::uint64_t at = source;
  std::uint32_t done = 0;
  while (done < bytes) {
    std::uint64_t cut = std::min<std::uint64_t>(bytes - done, kDmaOnboardBoundary - at % kDmaOnboardBoundary);
    if (split != 0) cut = std::min<std::uint64_t>(cut, split - done % split);
    if (at > kDmaMaxOnboard || at + cut > kDmaMaxOnboard) return false;
    const bool first = done == 0;
    const bool last = done + cut == bytes;
    const Cut c{static_cast<std::uint32_t>(cut), (first && marks.opens) || (splitMarks && done % split == 0),
                (last && marks.closes) || (splitMarks && (done + cut) % split == 0), first, last};
    if (!LbEmit(build, static_cast<std::uint32_t>(at), piece, CutControl(e, piece, w, marks, c))) return false;
    done += static_cast<std::uint32_t>(cut);
    at += cut;
    if (stepBack && bytes - done == split) {
      if (at < 2ull * split) return false;
      at -= 2ull * split;
    }
  }
  return true;
}

// The line records that feed window line `line` over the piece's columns,
// as one run from the first to the last of them.
bool LbRunOf(const YatLbLine* lines, std::uint32_t lineCount, const YatLbPiece& piece, std::uint32_t line,
             std::uint32_t* start, std::uint32_t* end) {
  bool found = false;
  const std::uint64_t pieceEnd = static_cast<std::uint64_t>(piece.x) + piece.width;
  for (std::uint32_t i = 0; i < lineCount; ++i) {
    const YatLbLine& record = lines[i];
    const std::uint64_t recordEnd = static_cast<std::uint64_t>(record.x) + record.width;
    if (line < record.y || line >= static_cast<std::uint64_t>(record.y) + record.height) continue;
    if (recordEnd <= piece.x || record.x >= pieceEnd) continue;
    const auto s = static_cast<std::uint32_t>(std::max<std::uint64_t>(piece.x, record.x));
    const auto t = static_cast<std::uint32_t>(std::min<std::uint64_t>(pieceEnd, recordEnd));
    if (!found) {
      *start = s;
      *end = t;
      found = true;
    } else if (s <= *end + 1) {
      *start = std::min(*start, s);
      *end = std::max(*end, t);
    }
  }
  return found;
}

// A window line with nothing of the piece still takes one descriptor.
bool LbEmitEmpty(LbBuild& build, const YatLbElement& e, const YatLbPiece& piece, const WindowLine& w) {
  std::uint32_t control = YAT_LB_EMPTY | YAT_LB_PASS_OPEN | YAT_LB_PASS_CLOSE;
  if (w.index == 0) control |= (1u << 24) | ((e.notifyOptions >> 2) & 1) << 16;
  control |= ((e.notifyOptions >> 3) & 1) << 17;
  return LbEmit(build, 0, piece, control);
}

// The on-board address a piece's run reads from.
std::uint64_t RunSource(const YatLbElement& e, const YatLbPiece& piece, const WindowLine& w, std::uint32_t start,
                        const YatSourceEntry* source) {
  const std::uint32_t bpp = YatBytesPerPixel(e.geometry.pixelFormat);
  const std::uint64_t pitch = static_cast<std::uint64_t>(e.geometry.imageWidth) * bpp;
  std::uint64_t lineOffset = piece.oneLine != 0 ? 0 : (std::uint64_t{e.geometry.topLine} + w.row) * pitch;
  lineOffset += static_cast<std::uint64_t>(e.geometry.left) * bpp;
  std::uint64_t address = static_cast<std::uint64_t>(start) * bpp + lineOffset;
  if (piece.onboardAddress != kImageData) {
    address += piece.onboardAddress;
    if ((piece.flags & kPieceAbsolute) == 0 && source != nullptr) address -= source->onboardAddress;
  }
  return address;
}

bool LbBuildLines(LbBuild& build, const YatLbElement& e, const YatLbLine* lines, const YatLbPiece* pieces,
                  const YatSourceEntry* source) {
  const std::uint32_t bpp = YatBytesPerPixel(e.geometry.pixelFormat);
  const std::uint32_t windowLines = e.geometry.lineCount;
  for (std::uint32_t line = 0; line < windowLines; ++line) {
    const WindowLine w = WindowLineOf(e, line, windowLines);
    for (std::uint32_t p = 0; p < e.pieceCount; ++p) {
      const YatLbPiece& piece = pieces[p];
      std::uint32_t start = 0, end = 0;
      if (!LbRunOf(lines, e.lineCount, piece, line, &start, &end)) {
        if (!LbEmitEmpty(build, e, piece, w)) return false;
        continue;
      }
      const std::uint64_t bytes = static_cast<std::uint64_t>(end - start) * bpp;
      if (bytes > 0xFFFFFFFFull) return false;
      if (!LbCutRun(build, e, piece, RunSource(e, piece, w, start, source), static_cast<std::uint32_t>(bytes), w,
                    MarksOf(e, piece, p, w)))
        return false;
    }
  }
  return true;
}

}  // namespace

QelHwStatus YatCheckLbElement(YatBoardExtension* board, const YatLbElement& e, const YatLbPiece* pieces) {
  const std::uint32_t bpp = YatBytesPerPixel(e.geometry.pixelFormat);
  if (bpp == 0) return QELHW_OK;
  std::uint64_t memory = 0;
  const QelHwStatus status = YatOnboardMemoryBytes(board, &memory);
  if (status != QELHW_OK) return status;
  const std::uint64_t room = memory / kDmaDescriptorBytes;
  const std::uint64_t windowLines = e.geometry.lineCount;
  const std::uint64_t pieceCount = e.pieceCount, lineCount = e.lineCount;  // copies: the record is packed
  bool inside = DmaSaturatingProduct(windowLines, pieceCount == 0 ? 1 : pieceCount) <= room &&
                DmaSaturatingProduct(windowLines, lineCount) <= room;
  for (std::uint32_t p = 0; p < e.pieceCount && inside; ++p)
    inside = std::uint64_t{pieces[p].width} * bpp <= memory;
  if (inside) return QELHW_OK;
  STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Window past the on-board memory");
  return QELHW_ERROR_PARAMETER_INVALID;
}

QelHwStatus CreateLBDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatLbElement* element,
                            const YatLbLine* lines, const YatLbPiece* pieces, const YatSourceEntry* source,
                            DmaResult** result) {
  if (result == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< pResult = NULL: Argument Invalid");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  *result = DmaNewResult(1);
  if (*result == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Host memory allocation error");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  for (std::uint32_t i = 0; i < element->lineCount; ++i) {
    if (lines[i].lineStep == 0) {
      STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Division by 0: lineIncrease = 0");
      return QELHW_ERROR_PARAMETER_INVALID;
    }
  }
  if (YatBytesPerPixel(element->geometry.pixelFormat) == 0) return QELHW_ERROR_PARAMETER_INVALID;
  LbBuild build{board, transfer, *result};
  if (!LbBuildLines(build, *element, lines, pieces, source)) {
    STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Unable to build the descriptor table");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  return DmaCopyChainToBoard(board, (*result)->chain);
}
