// The copy routine for image lines: aligns once, then moves blocks, with
// non-temporal stores on the SSE path so that large frames do not evict the
// cache. The alignment target is the destination, or the source when
// alignOnSource is set. The areas must not overlap.
#pragma once

#include <cstddef>
#include <cstdint>

// SSE path when SSE is usable, else MMX path when MMX is present, else the
// 32-bit path (always, while the plain path is forced).
void FastMemCopy(void* destination, const void* source, std::size_t length, bool alignOnSource);

// Makes every FastMemCopy of this process take the 32-bit path (tests compare
// the paths on one machine).
void FastMemCopyForcePlainPath(bool force);

// The path FastMemCopy takes on this processor, with the switch as it stands.
enum class CopyPath { kPlain, kMmx, kSse };
CopyPath FastMemCopyChoosePath();

// The three paths, each answering what it moved.
struct CopyPathCounts {
  std::size_t bytes;       // single-byte moves
  std::size_t words;       // 32-bit moves
  std::size_t mmxBlocks;   // 16-byte blocks of two 64-bit moves
  std::size_t sseBlocks;   // 32-byte blocks of aligned loads and non-temporal stores
};
CopyPathCounts FastMemCopy32(void* destination, const void* source, std::size_t length, bool alignOnSource);
CopyPathCounts FastMemCopyMmx(void* destination, const void* source, std::size_t length, bool alignOnSource);
CopyPathCounts FastMemCopySse(void* destination, const void* source, std::size_t length, bool alignOnSource);
