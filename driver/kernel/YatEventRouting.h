// The routing tables of a board and the per-channel state the message
// decoder reads and keeps; embedded in the board extension.
#pragma once

#include <atomic>
#include <cstdint>

inline constexpr std::uint32_t kYatEventChannels = 8;
inline constexpr std::uint32_t kYatIoLineOwners = 16;
inline constexpr std::uint32_t kYatTimeStampChannels = 4;

// Route kinds of RouteEvent.
inline constexpr std::uint32_t kYatRouteMessages = 1;
inline constexpr std::uint32_t kYatRouteKernel = 2;

// What the decoder reads of a channel's transfer set-up (filled by the BH
// transfer set-up) and the four words it keeps there itself.
struct YatChannelFieldState {
  std::uint32_t fieldMode;
  std::uint32_t bhChannelCount;
  std::uint32_t fieldPhase;
  std::uint32_t notificationMode;  // kernel notification mode of the channel
  std::uint32_t notificationMask;  // kernel notification mask of the channel
  std::uint32_t startToggle;
  std::uint32_t lastStartPosition;
  std::uint32_t lastHalf;
  std::uint32_t lastState;
};

// All entries start at 16 (no owner) / 0 (YatInitEventRouting). The decoder
// reads them without a lock while requests write them, one word at a time.
struct YatEventRouting {
  std::atomic<std::uint32_t> channelEventOwner[kYatEventChannels];
  std::atomic<std::uint32_t> channelMessageMask[kYatEventChannels];
  std::atomic<std::uint32_t> channelKernelMask[kYatEventChannels];
  std::atomic<std::uint32_t> transferMessageOwner[kYatEventChannels];
  std::atomic<std::uint32_t> ioLineOwner[kYatIoLineOwners];
  YatChannelFieldState fields[kYatEventChannels];
};

