#include "platform/board/control_registers.h"

#include <initializer_list>

namespace plat::board {

namespace {

using Kind = RegisterKind;

struct Layout {
  Kind kind = Kind::kNone;
  std::uint32_t input_mask = 0;
};

// A run of consecutive registers that behave alike.
struct Run {
  std::uint32_t first, last;
  Kind kind;
  std::uint32_t input_mask;
};

constexpr Kind RW = Kind::kReadWrite;
constexpr Kind WO = Kind::kWriteOnly;
constexpr Kind RO = Kind::kReadOnly;
constexpr std::uint32_t kAll = 0xFFFFFFFF;

// The general-purpose I/O registers (0x800..0x824) answer from their own
// model (gpio_block.h); their entries here keep the last value written.
constexpr Run kBoardRuns[] = {
    {0x410, 0x410, RW, 0},          {kRegBoardControl, kRegBoardControl, WO, 0x1F},
    {0x41C, 0x41C, RW, 0},          {0x420, 0x420, WO, 0},
    {0x428, 0x428, WO, 0},          {0x430, 0x430, WO, 0},
    {0x438, 0x444, WO, 0x7FFFFFFF}, {0x448, 0x448, WO, 0x80000000},
    {0x450, 0x458, RW, 0},          {0x45C, 0x45C, WO, 0xFFFFFFFC},
    {0x800, 0x800, RW, 0},          {0x804, 0x808, WO, 0},
    {0x80C, 0x80C, WO, 0xFF0001FF}, {0x810, 0x810, WO, 0},
    {0x814, 0x818, RW, 0},          {0x81C, 0x81C, WO, 0},
    {0x820, 0x820, WO, 0x0FF000FF}, {0x824, 0x828, WO, 0},
    {0x87C, 0x87C, WO, 0},          {0xC00, 0xC04, WO, 0},
    {0xC20, 0xC24, WO, 0},          {0x1180, 0x1180, WO, 0xF0000000},
    {0x1184, 0x1190, WO, 0},        {0x1280, 0x1280, WO, 0x1F},
    {0x1284, 0x1294, WO, 0},        {0x1298, 0x12A4, RW, 0},
    {0x5000, 0x5000, RW, 0},        {0x5004, 0x5044, WO, 0},
    {0x5070, 0x50FC, RW, 0},        {0x10000, 0x10004, RW, 0},
    {0x10008, 0x10008, WO, 0xFFFFFFFC}, {0x1000C, 0x1000C, RW, 0},
    {0x1001C, 0x1001C, RW, 0},      {0x10020, 0x10020, WO, 0xFFFFFF00},
    {0x10024, 0x10024, WO, 0},      {0x10028, 0x1002C, RW, 0},
    {0x10034, 0x10038, RW, 0},      {0x1007C, 0x1007C, RW, 0},
};

// Per camera front end (0x400 apart), cameras 0 and 1.
constexpr Run kFrontEndRuns[] = {
    {0x1000, 0x1000, RO, kAll}, {0x1004, 0x100C, WO, 0}, {0x1014, 0x1064, WO, 0},
    {0x1068, 0x1068, RW, 0},    {0x106C, 0x106C, RO, kAll}, {0x1070, 0x1074, WO, 0},
    {0x1078, 0x107C, RW, 0},    {0x1100, 0x1108, WO, 0}, {0x110C, 0x110C, RO, kAll},
    {0x1110, 0x1110, WO, 0},    {0x1128, 0x1134, WO, 0}, {0x1138, 0x1138, RO, kAll},
    {0x1144, 0x1154, WO, 0},    {0x1160, 0x1164, WO, 0}, {0x1168, 0x1168, RO, kAll},
    {0x116C, 0x116C, WO, 0},
    {0x1180, 0x1180, WO, 0xF0000000}, {0x1184, 0x1190, WO, 0},  // double pulse (camera 0: as above)
};

// Per serial port (0x400 apart), ports 0 to 3.
constexpr Run kSerialRuns[] = {
    {0x1200, 0x1210, WO, 0}, {0x1220, 0x1220, WO, 0xFFFF0000}, {0x1224, 0x1224, WO, 0},
    {0x1228, 0x1228, RO, kAll}, {0x122C, 0x1230, WO, 0}, {0x1250, 0x1254, WO, 0},
    {0x1258, 0x1258, RO, kAll}, {0x125C, 0x125C, WO, 0}, {0x126C, 0x126C, WO, 0xF},
};

// Per grab controller (0x400 apart), channels 0 and 1.
constexpr Run kGrabRuns[] = {
    {0x3000, 0x3034, WO, 0}, {0x3038, 0x3038, WO, 0xFFFFFFFE}, {0x3044, 0x3044, RW, 0},
    {0x3048, 0x3048, WO, 0xFFFFFF00}, {0x304C, 0x3054, WO, 0}, {0x3300, 0x334C, WO, 0},
    {0x3380, 0x33CC, WO, 0},
};

using LayoutTable = std::array<Layout, kControlRegisterWords>;

void apply(LayoutTable& table, const Run& run, std::uint32_t shift) {
  for (std::uint32_t offset = run.first + shift; offset <= run.last + shift; offset += 4)
    table[offset / 4] = Layout{run.kind, run.input_mask};
}

template <std::size_t N>
void apply_repeated(LayoutTable& table, const Run (&runs)[N], std::uint32_t copies) {
  for (std::uint32_t copy = 0; copy < copies; ++copy)
    for (const Run& run : runs) apply(table, run, copy * kChannelStride);
}

const LayoutTable& layout() {
  static const LayoutTable* table = [] {
    auto* t = new LayoutTable{};
    for (const Run& run : kBoardRuns) apply(*t, run, 0);
    apply_repeated(*t, kFrontEndRuns, 2);
    apply_repeated(*t, kSerialRuns, 4);
    apply_repeated(*t, kGrabRuns, 2);
    for (std::uint32_t channel = 0; channel < kChannelCount; ++channel)
      apply(*t, Run{kRegChannelControl, kRegChannelControl, WO, 0x80000000}, channel * kChannelStride);
    return t;
  }();
  return *table;
}

const Layout* find(std::uint32_t offset) {
  if (offset % 4 != 0 || offset / 4 >= kControlRegisterWords) return nullptr;
  const Layout& entry = layout()[offset / 4];
  return entry.kind == Kind::kNone ? nullptr : &entry;
}

}  // namespace

// A grab controller comes up counting groups of one frame.
constexpr std::uint32_t kRegGroupCountAtReset = 0x1014;
constexpr std::uint32_t kRegGroupFramesAtReset = 0x1018;

void control_registers_reset(ControlRegisters& registers) {
  registers.written.fill(0);
  registers.inputs.fill(0);
  for (std::uint32_t camera = 0; camera < 2; ++camera) {
    registers.inputs[(kRegFrontEndIdentity + camera * kChannelStride) / 4] = kFrontEndIdentity;
    registers.written[(kRegGroupCountAtReset + camera * kChannelStride) / 4] = 1;
    registers.written[(kRegGroupFramesAtReset + camera * kChannelStride) / 4] = 1;
  }
}

bool control_registers_read(const ControlRegisters& registers, std::uint32_t offset, std::uint32_t* value) {
  const Layout* entry = find(offset);
  if (entry == nullptr) return false;
  const std::uint32_t inputs = registers.inputs[offset / 4] & entry->input_mask;
  switch (entry->kind) {
    case Kind::kReadWrite: *value = registers.written[offset / 4]; break;
    default: *value = inputs; break;
  }
  return true;
}

bool control_registers_write(ControlRegisters& registers, std::uint32_t offset, std::uint32_t value) {
  const Layout* entry = find(offset);
  if (entry == nullptr) return false;
  if (entry->kind != Kind::kReadOnly) registers.written[offset / 4] = value;
  return true;
}

bool control_registers_set_inputs(ControlRegisters& registers, std::uint32_t offset, std::uint32_t value) {
  const Layout* entry = find(offset);
  if (entry == nullptr || entry->input_mask == 0) return false;
  registers.inputs[offset / 4] = value & entry->input_mask;
  return true;
}

bool control_registers_peek(const ControlRegisters& registers, std::uint32_t offset, std::uint32_t* value) {
  if (find(offset) == nullptr) return false;
  *value = registers.written[offset / 4];
  return true;
}

bool control_registers_read_back(const ControlRegisters& registers, std::uint32_t offset, std::uint32_t* value) {
  const Layout* entry = find(offset);
  if (entry == nullptr) return false;
  const std::uint32_t mask = entry->input_mask;
  *value = (registers.written[offset / 4] & ~mask) | (registers.inputs[offset / 4] & mask);
  return true;
}

}  // namespace plat::board
