// The grab controllers: one per camera input, starting, stopping and counting
// the frames its camera sends, and the frame events they raise.
//
// Registers (BAR 0 offsets; camera c's register r is r + c x 0x400):
// - 0x1000 capability word: what the plain registers give (the front-end
//   identity) where the board has the camera input; 0 where it has none (the
//   "Full" board's camera 1, and the "Dual" board's camera 1 when its firmware
//   carries option bit 9, built for one camera), and then camera c has no grab
//   controller: its other registers are plain ones.
// - 0x1004..0x1060 and 0x1180..0x1190: the controller's settings. They read
//   back what was written (with a register's input bits, where it has any).
//   The ones the model acts on: 0x1014 group count (1 at power-on; 0 counts
//   as 1), 0x1018 frames per group (1 at power-on; taken as written: with 0
//   a group holds no frame, so a start makes none and the acquisition is
//   over at once), 0x1020 trigger control (bit 12 frame trigger on, bit 8
//   software trigger: every write that sets it is one trigger).
// - 0x1010 acquisition control: reads back what was written; each write acts
//   on bits 0..3: 1 counted acquisition (group count x frames per group
//   frames, as written before), 9 continuous, 2 freeze (the frame in progress
//   ends, nothing new starts), 4 abort (stops at once; a frame in progress
//   ends short with the lines the camera sent so far, as a camera shorter
//   than the window ends it, or is dropped when not one line came yet).
//   Other values are settings only. A start while a frame is in
//   progress lets that frame end and takes over from its successor.
// - 0x1078 grab status: what was written, with bit 24 set while an
//   acquisition is armed or running (waiting for a trigger included) and bit
//   20 while it ends: from a freeze command until it is over, and from then
//   on while the controller stays idle, until the next start. Bit 24 clear
//   with bit 20 set is a controller gone idle after a grab; neither bit, one
//   that never grabbed. (Keeping the written bits lets a test make the front
//   end see a grab.)
// - 0x106C last time stamp, read-only: the frame clock (microseconds, low 32
//   bits) at the end of the camera's last frame.
// - 0x3050 channel reset: read/write. While bit 0 holds 1 no frame starts and
//   a frame in progress is dropped; setting it numbers the next frame 0
//   again. The acquisition stays armed and carries on when it is released.
// - 0x448 (board) multi-camera control: reads back what was written; bits
//   0..3 a command as above, applied to every camera of the mask in bits
//   8..11 (bit 8 + c) at one instant, so their first frames start together.
// - 0x116C channel enables: bit 0 lets frame starts raise main status bit 15
//   (camera 1: 16), bit 1 lets frame ends raise bit 25 (camera 1: 26).
//
// Frames: a started acquisition's first frame starts at once, the next ones a
// frame period apart on the camera's own clock (frame n at the start + n
// periods, however late the board's timing thread wakes; camera_model.h); with the frame trigger on (as 0x1020
// stood at the start command), each group of frames waits for one trigger,
// which starts its first frame at once when no frame is in progress. A
// trigger that finds no group waiting is counted and otherwise lost. At the
// end of its readout a frame (the part of the camera's frame the crop window
// lets through, crop_window.h) goes into the acquisition path exactly as
// board_inject_frame carries it (channel = camera), on the board's own
// carrying thread, and then raises its end event; a frame that no armed host
// buffer takes (or that finds no room for its messages, or the queue of
// frames waiting to be carried full) is dropped: it is counted, its end event
// still raised, and the acquisition's first drop written to the machine log.
// A counted acquisition stays armed until its last frame is through.
// Frames are numbered from 0 per camera since power-on or the last channel
// reset, and the number is part of the pattern.
//
// Pixel clock: present at power-on; while lost no frame starts and a frame in
// progress is dropped. It is camera c's link-status line "camera present"
// (0x418 bit 4c; ORed with the lines a test sets through the front end,
// front_end.h), and each change raises main status bit 3 + c.
//
// Measurements: while camera c's pixel clock runs, the front end reads the
// camera's line width in pixels at 0x438 + 8c and its frame height in lines at
// 0x43C + 8c; both read 0 without a clock or without the camera.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/board/board.h"
#include "platform/board/camera_model.h"
#include "platform/board/dma_frames.h"

namespace plat::board {

inline constexpr std::uint32_t kGrabCameras = 2;
inline constexpr std::uint32_t kGrabCameraStride = 0x400;
inline constexpr std::uint32_t kRegGrabCapability = 0x1000;
inline constexpr std::uint32_t kRegGrabControl = 0x1010;
inline constexpr std::uint32_t kRegGrabGroupCount = 0x1014;
inline constexpr std::uint32_t kRegGrabGroupFrames = 0x1018;
inline constexpr std::uint32_t kRegGrabTrigger = 0x1020;
inline constexpr std::uint32_t kRegGrabStatus = 0x1078;
inline constexpr std::uint32_t kRegGrabChannelEnables = 0x116C;
inline constexpr std::uint32_t kRegGrabReset = 0x3050;
inline constexpr std::uint32_t kRegMultiCamera = 0x448;
inline constexpr std::uint32_t kRegMeasuredLineWidth = 0x438;  // frame height at + 4, camera 1 at + 8

inline constexpr std::uint32_t kGrabCommandMask = 0xF;
inline constexpr std::uint32_t kGrabCounted = 1;
inline constexpr std::uint32_t kGrabFreeze = 2;
inline constexpr std::uint32_t kGrabAbort = 4;
inline constexpr std::uint32_t kGrabContinuous = 9;
inline constexpr std::uint32_t kTriggerFrameOn = 1u << 12;
inline constexpr std::uint32_t kTriggerSoftware = 1u << 8;
inline constexpr std::uint32_t kGrabStatusArmed = 1u << 24;
inline constexpr std::uint32_t kGrabStatusEnded = 1u << 20;
inline constexpr std::uint32_t kRegGrabLastStamp = 0x106C;
inline constexpr std::uint32_t kEnableFrameStart = 1u << 0;
inline constexpr std::uint32_t kEnableFrameEnd = 1u << 1;

using GrabClock = std::chrono::steady_clock;

enum class GrabMode : std::uint8_t { kIdle, kCounted, kContinuous };

struct GrabCamera {
  CameraModel model;
  bool pixel_clock = true;
  bool reset_held = false;
  GrabMode mode = GrabMode::kIdle;
  bool grabbed = false;          // an acquisition was started since power-on
  bool freezing = false;
  bool triggered = false;        // frame trigger on when it started: groups wait for triggers
  bool waiting_trigger = false;
  std::uint64_t frames_left = 0;  // counted: frames still to start
  std::uint32_t group_frames = 1;
  std::uint32_t group_left = 0;   // triggered: frames of the released group still to start
  bool in_progress = false;
  CameraFrame current{};
  GrabClock::time_point frame_begin{};  // its readout's start
  std::uint32_t camera_lines = 0;       // the camera's lines in that readout
  GrabClock::time_point frame_end{};
  GrabClock::time_point next_start{};
  std::uint32_t next_number = 0;
  std::uint32_t completing = 0;   // ended frames on their way through the acquisition path
  // What tests look at.
  std::uint32_t frames_started = 0;
  std::uint32_t frames_completed = 0;
  std::uint32_t frames_dropped = 0;  // cut before its first line, or not delivered (grab_frame_delivered)
  bool drop_logged = false;          // this acquisition's first drop is in the machine log
  std::uint32_t last_command = 0;
  std::uint32_t reset_holds = 0;
  std::uint32_t triggers = 0;
  std::uint64_t start_tick_us = 0;  // frame clock at the last start command
};

struct GrabBlock {
  std::array<GrabCamera, kGrabCameras> cameras{};
  GrabClock::time_point origin = GrabClock::now();  // the frame clock's zero: power-on
};

// Register access with the board's lock held; false for offsets that are not
// the grab controllers' (the plain registers then answer them).
bool grab_register_read(const Board& board, std::uint32_t offset, std::uint32_t* value);
bool grab_register_write(Board& board, std::uint32_t offset, std::uint32_t value);
// The "camera present" link-status lines of 0x418.
std::uint32_t grab_link_status(const Board& board);

bool grab_camera_present(const Board& board, std::uint32_t camera);
// A camera is armed or has a frame on its way.
bool grab_active(const Board& board);

// With the board's lock held. Ends the readouts and starts the frames that
// are due at `now`; the frames that ended are appended to `ended`, to be
// carried and then reported by grab_frame_delivered. Answers whether a frame
// started, and through `deadline` the next instant something is due.
bool grab_advance(Board& board, GrabClock::time_point now, std::vector<CameraFrame>* ended,
                  std::optional<GrabClock::time_point>* deadline);

// What became of an ended frame: in the host buffers with its messages, or
// dropped (and counted) because no armed host buffer or no message room took
// it, or because the board's queue of frames on their way was full.
enum class FrameFate : std::uint8_t { kDelivered, kNoHostBuffer, kQueueFull };
// With the board's lock held: counts the frame, raises its end event.
void grab_frame_delivered(Board& board, const CameraFrame& frame, FrameFate fate);

// Outside events, with the board's lock held; false for a camera the board
// does not have.
bool grab_set_pixel_clock(Board& board, std::uint32_t camera, bool present, GrabClock::time_point now);
bool grab_trigger(Board& board, std::uint32_t camera, GrabClock::time_point now);

}  // namespace plat::board
