// The contract between the board library and the driver: I/O-control codes,
// the request header that names a board, and the status word every answer
// starts with. Included by both sides, so it carries no kernel types.
#pragma once

#include <cstddef>
#include <cstdint>

// Device type 0x22, function 0x800 + n, buffered, any access.
constexpr std::uint32_t YatIoctlCode(std::uint32_t n) { return 0x222000u + 4u * n; }
// A section owns the 128 codes from 0x222000 + 0x200 * section upward.
constexpr std::uint32_t YatIoctlSection(std::uint32_t code) { return (code >> 9) & 15u; }

// Set in every code a caller sends; the driver clears it for a 32-bit caller
// so that handlers with 32-bit record forms can tell the width.
inline constexpr std::uint32_t YAT_IOCTRL_WIDTH_BIT = 0x2000;

inline constexpr std::uint32_t YAT_IOC_SECTION_COUNT = 10;
inline constexpr std::uint32_t YAT_DRIVER_ABI_VERSION = 100;
inline constexpr std::uint32_t YAT_IOC_TARGET_BOARD = 1;
inline constexpr std::uint32_t YAT_MAX_BOARDS = 16;

// Section 0: board and manager requests.
inline constexpr std::uint32_t YAT_IOCTRL_INIT_BOARD_MANAGER = 0x222000;
inline constexpr std::uint32_t YAT_IOCTRL_GET_BOARD_STATE = 0x222004;
inline constexpr std::uint32_t YAT_IOCTRL_SET_DEBUG_LEVEL = 0x222008;
inline constexpr std::uint32_t YAT_IOCTRL_GET_NB_BOARD = 0x22200C;
inline constexpr std::uint32_t YAT_IOCTRL_RESET_BOARD = 0x222010;
inline constexpr std::uint32_t IOCTRL_RELOAD = 0x222014;
inline constexpr std::uint32_t YAT_IOCTRL_GET_BASE_ADDRESS = 0x222018;
inline constexpr std::uint32_t YAT_IOCTRL_GET_PROCESS_ID = 0x22201C;
inline constexpr std::uint32_t YAT_IOCTRL_GET_ABI_VERSION = 0x222020;
inline constexpr std::uint32_t YAT_IOCTRL_CLOSE_BOARD_MANAGER = 0x222024;
inline constexpr std::uint32_t YAT_IOCTRL_INIT_MEMORY_MANAGER = 0x222028;
inline constexpr std::uint32_t YAT_IOCTRL_INIT_RESOURCE_MANAGER = 0x22202C;
inline constexpr std::uint32_t YAT_IOCTRL_GET_PCI_LOCATION = 0x222030;
inline constexpr std::uint32_t YAT_IOCTRL_SET_BOARD_ERROR = 0x222034;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_BAR = 0x222038;
inline constexpr std::uint32_t YAT_IOCTRL_READ_BAR = 0x22203C;

// Section 1: transfer objects.
inline constexpr std::uint32_t YAT_IOCTRL_SET_AL_XFERS = 0x222200;
inline constexpr std::uint32_t YAT_IOCTRL_SET_LB_XFERS = 0x222204;
inline constexpr std::uint32_t YAT_IOCTRL_SET_BH_XFERS = 0x222208;
inline constexpr std::uint32_t YAT_IOCTRL_START_AUTO_XFER = 0x222210;
inline constexpr std::uint32_t YAT_IOCTRL_START_XFER = 0x222214;
inline constexpr std::uint32_t YAT_IOCTRL_STOP_XFER = 0x222218;
inline constexpr std::uint32_t YAT_IOCTRL_ABORT_XFER = 0x22221C;
inline constexpr std::uint32_t YAT_IOCTRL_XFER_POSITION_XFER = 0x222220;
inline constexpr std::uint32_t YAT_IOCTRL_CREATE_XFER = 0x222224;
inline constexpr std::uint32_t YAT_IOCTRL_DESTROY_XFER = 0x222228;
inline constexpr std::uint32_t YAT_IOCTRL_DBG_MAP_DESC = 0x22222C;
inline constexpr std::uint32_t YAT_IOCTRL_DBG_UNMAP_DESC = 0x222230;
inline constexpr std::uint32_t YAT_IOCTRL_DBG_GET_XFER_HANDLES = 0x222234;
inline constexpr std::uint32_t YAT_IOCTRL_SET_CYCLE_MODE_XFER = 0x222238;

// Section 2: on-board memory allocation.
inline constexpr std::uint32_t YAT_IOCTRL_ALLOC_FPGA_MEM = 0x222400;
inline constexpr std::uint32_t YAT_IOCTRL_FREE_FPGA_MEM = 0x222404;
inline constexpr std::uint32_t YAT_IOCTRL_FREE_ALL_FPGA_MEM = 0x222408;

// Section 3: registers, FPGA, on-board memory access.
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_REG = 0x222600;
inline constexpr std::uint32_t YAT_IOCTRL_READ_REG = 0x222604;
inline constexpr std::uint32_t YAT_IOCTRL_SET_BITS_REG = 0x222608;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_CACHE = 0x22260C;
inline constexpr std::uint32_t YAT_IOCTRL_READ_CACHE = 0x222610;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_MEMORY = 0x222614;
inline constexpr std::uint32_t YAT_IOCTRL_READ_MEMORY = 0x222618;
inline constexpr std::uint32_t YAT_IOCTRL_LOAD_FPG = 0x22261C;
inline constexpr std::uint32_t YAT_IOCTRL_GET_MEMORY_SIZE = 0x222620;
inline constexpr std::uint32_t YAT_IOCTRL_FILL_MEMORY = 0x222624;
inline constexpr std::uint32_t YAT_IOCTRL_UNLOAD_FPG = 0x222628;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_BLOCK_REG = 0x22262C;
inline constexpr std::uint32_t YAT_IOCTRL_READ_BLOCK_REG = 0x222630;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_BLOCK_INDEX_REG = 0x222634;
inline constexpr std::uint32_t YAT_IOCTRL_READ_BLOCK_INDEX_REG = 0x222638;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_PROCESSING_MEMORY = 0x22263C;
inline constexpr std::uint32_t YAT_IOCTRL_READ_PROCESSING_MEMORY = 0x222640;
inline constexpr std::uint32_t YAT_IOCTRL_WRITE_CMD = 0x222644;

// Section 4: I2C bus.
inline constexpr std::uint32_t YAT_IOCTRL_I2C_WRITE = 0x222800;
inline constexpr std::uint32_t YAT_IOCTRL_I2C_READ = 0x222804;

// Section 5: messages and events.
inline constexpr std::uint32_t YAT_IOCTRL_GET_MESSAGE = 0x222A00;
inline constexpr std::uint32_t YAT_IOCTRL_REGISTER_EVENT = 0x222A04;
inline constexpr std::uint32_t YAT_IOCTRL_UNREGISTER_EVENT = 0x222A08;
inline constexpr std::uint32_t YAT_IOCTRL_ROUTE_EVENT = 0x222A0C;
inline constexpr std::uint32_t YAT_IOCTRL_UNROUTE_EVENT = 0x222A10;
inline constexpr std::uint32_t YAT_IOCTRL_UNROUTE_ALL_EVENT = 0x222A14;
inline constexpr std::uint32_t YAT_IOCTRL_RESET_QUEUE_EVENT = 0x222A18;
inline constexpr std::uint32_t YAT_IOCTRL_DISPATCH_MESSAGE = 0x222A1C;

// Section 6: flash memory.
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_WRITE = 0x222C00;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_READ = 0x222C04;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_LOCK_PROBE = 0x222C08;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_SET_FLAG = 0x222C0C;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_RESERVED = 0x222C10;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_PROTECT = 0x222C14;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_UNPROTECT = 0x222C18;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_IS_PROTECTED = 0x222C1C;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_READ_ID = 0x222C20;
inline constexpr std::uint32_t YAT_IOCTRL_FLASH_ERASE = 0x222C24;

// Section 7: acquisition channel ownership.
inline constexpr std::uint32_t YAT_IOCTRL_KERNEL_ACQ_START = 0x222E00;
inline constexpr std::uint32_t YAT_IOCTRL_KERNEL_ACQ_ABORT = 0x222E04;

// Internal request of the serial-port manager driver to a board device.
inline constexpr std::uint32_t YAT_IOCTRL_INTERNAL_SERIAL_COMMAND = 0x2221C0;

// The lowest and highest code each section accepts (sections 8 and 9 have none).
struct YatIocRange {
  std::uint32_t lowest;
  std::uint32_t highest;
};
inline constexpr YatIocRange YAT_IOC_SECTION_RANGES[8] = {
    {0x222000, 0x222040}, {0x222200, 0x22223C}, {0x222400, 0x222408}, {0x222600, 0x222644},
    {0x222800, 0x222804}, {0x222A00, 0x222A1C}, {0x222C00, 0x222C24}, {0x222E00, 0x222E04},
};

// First 8 bytes of the input of every request that addresses a board.
struct YatIocHeader {
  std::uint32_t target;      // YAT_IOC_TARGET_BOARD: the request names a board
  std::uint32_t boardIndex;  // board slot 0 to 15
};
static_assert(sizeof(YatIocHeader) == 8);
static_assert(offsetof(YatIocHeader, target) == 0);
static_assert(offsetof(YatIocHeader, boardIndex) == 4);

// First 4 bytes of the output of every request.
struct YatIocStatus {
  std::int32_t status;  // a QelHwStatus
};
static_assert(sizeof(YatIocStatus) == 4);
static_assert(offsetof(YatIocStatus, status) == 0);

// YAT_IOCTRL_GET_ABI_VERSION answer.
struct YatIocAbiVersionOut {
  YatIocStatus header;
  std::uint32_t version;
};
static_assert(sizeof(YatIocAbiVersionOut) == 8);
static_assert(offsetof(YatIocAbiVersionOut, version) == 4);

// Section 0 and 2 records (after the header and the status word).

// YAT_IOCTRL_INIT_BOARD_MANAGER and YAT_IOCTRL_INIT_MEMORY_MANAGER input.
struct YatInitMemoryRecord {
  YatIocHeader header;
  std::uint32_t regionsPerBank[8];
  std::uint32_t bankSizeMb[8];
  std::uint32_t bankCount;
};
static_assert(sizeof(YatInitMemoryRecord) == 76);
static_assert(offsetof(YatInitMemoryRecord, regionsPerBank) == 8);
static_assert(offsetof(YatInitMemoryRecord, bankSizeMb) == 40);
static_assert(offsetof(YatInitMemoryRecord, bankCount) == 72);

// One u32 argument after the header: trace flags, reset, BAR offset, board error.
struct YatIocValueIn {
  YatIocHeader header;
  std::uint32_t value;
};
static_assert(sizeof(YatIocValueIn) == 12);
static_assert(offsetof(YatIocValueIn, value) == 8);

// One u32 answer after the status: board count, base address, process slot, BAR value.
struct YatIocValueOut {
  YatIocStatus header;
  std::uint32_t value;
};
static_assert(sizeof(YatIocValueOut) == 8);
static_assert(offsetof(YatIocValueOut, value) == 4);

#pragma pack(push, 1)
struct YatIocBoardStateOut {
  YatIocStatus header;
  std::uint8_t resourceManagerBuilt;
  std::uint8_t memoryManagerInitialised;
  std::uint8_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(YatIocBoardStateOut) == 7);
static_assert(offsetof(YatIocBoardStateOut, resourceManagerBuilt) == 4);
static_assert(offsetof(YatIocBoardStateOut, memoryManagerInitialised) == 5);

struct YatIocReloadIn {
  YatIocHeader header;
  std::uint32_t mode;  // 2 reloads the FPGA from flash
  std::uint32_t argument;
};
static_assert(sizeof(YatIocReloadIn) == 16);
static_assert(offsetof(YatIocReloadIn, mode) == 8);
static_assert(offsetof(YatIocReloadIn, argument) == 12);

struct YatIocPciLocationOut {
  YatIocStatus header;
  std::uint32_t bus;
  std::uint32_t device;
  std::uint32_t function;
};
static_assert(sizeof(YatIocPciLocationOut) == 16);
static_assert(offsetof(YatIocPciLocationOut, bus) == 4);
static_assert(offsetof(YatIocPciLocationOut, function) == 12);

struct YatIocWriteBarIn {
  YatIocHeader header;
  std::uint32_t offset;
  std::uint32_t value;
};
static_assert(sizeof(YatIocWriteBarIn) == 16);
static_assert(offsetof(YatIocWriteBarIn, offset) == 8);
static_assert(offsetof(YatIocWriteBarIn, value) == 12);

struct YatIocAllocFpgaMemIn {
  YatIocHeader header;
  std::uint32_t region;
  std::uint32_t size;  // bytes
  std::uint32_t bank;
};
static_assert(sizeof(YatIocAllocFpgaMemIn) == 20);
static_assert(offsetof(YatIocAllocFpgaMemIn, region) == 8);
static_assert(offsetof(YatIocAllocFpgaMemIn, size) == 12);
static_assert(offsetof(YatIocAllocFpgaMemIn, bank) == 16);

struct YatIocAllocFpgaMemOut {
  YatIocStatus header;
  std::uint32_t address;  // on-board byte address
  std::uint32_t reserved;
};
static_assert(sizeof(YatIocAllocFpgaMemOut) == 12);
static_assert(offsetof(YatIocAllocFpgaMemOut, address) == 4);

struct YatIocFreeFpgaMemIn {
  YatIocHeader header;
  std::uint32_t address;
  std::uint32_t bank;
};
static_assert(sizeof(YatIocFreeFpgaMemIn) == 16);
static_assert(offsetof(YatIocFreeFpgaMemIn, address) == 8);
static_assert(offsetof(YatIocFreeFpgaMemIn, bank) == 12);

// Section 3 records. User addresses are 8 bytes from a 64-bit caller and 4
// bytes from a 32-bit one (the "32" forms); the driver reads every one of
// them through its checked copy from the caller's memory.
#pragma pack(push, 1)
struct YatIocRegisterIn {  // WRITE_REG
  YatIocHeader header;
  std::uint32_t offset;
  std::uint32_t value;
};
struct YatIocSetBitsIn {
  YatIocHeader header;
  std::uint32_t offset;
  std::uint32_t value;
  std::uint32_t mask;
};
struct YatIocCacheIn {  // WRITE_CACHE, READ_CACHE
  YatIocHeader header;
  std::uint32_t offset;
  std::uint64_t userAddress;
  std::uint32_t wordCount;
};
struct YatIocCacheIn32 {
  YatIocHeader header;
  std::uint32_t offset;
  std::uint32_t userAddress;
  std::uint32_t wordCount;
};
struct YatIocMemoryIn {  // WRITE_MEMORY, READ_MEMORY
  YatIocHeader header;
  std::uint32_t localAddress;
  std::uint64_t userAddress;
  std::uint32_t byteCount;
  std::uint32_t engine;
};
struct YatIocMemoryIn32 {
  YatIocHeader header;
  std::uint32_t localAddress;
  std::uint32_t userAddress;
  std::uint32_t byteCount;
  std::uint32_t engine;
};
inline constexpr std::uint32_t YAT_FPGA_NAME_SIZE = 256;
struct YatFpgaLoadRecord {  // LOAD_FPG
  YatIocHeader header;
  std::uint32_t fpgaId;  // the library's option word
  char fileName[YAT_FPGA_NAME_SIZE];
  std::uint64_t imageAddress;
  std::uint32_t imageSize;
};
struct YatFpgaLoadRecord32 {
  YatIocHeader header;
  std::uint32_t fpgaId;
  char fileName[YAT_FPGA_NAME_SIZE];
  std::uint32_t imageAddress;
  std::uint32_t imageSize;
};
struct YatIocFillIn {  // FILL_MEMORY
  YatIocHeader header;
  std::uint32_t localAddress;
  std::uint32_t byteCount;
  std::uint64_t patternAddress;
  std::int32_t patternLength;
  std::uint32_t engine;
};
struct YatIocFillIn32 {
  YatIocHeader header;
  std::uint32_t localAddress;
  std::uint32_t byteCount;
  std::uint32_t patternAddress;
  std::int32_t patternLength;
  std::uint32_t engine;
};
struct YatIocRegisterListIn {  // WRITE_BLOCK_REG, READ_BLOCK_REG: {u32 offset, u32 value} pairs
  YatIocHeader header;
  std::uint64_t userAddress;
  std::uint32_t count;
};
struct YatIocRegisterListIn32 {
  YatIocHeader header;
  std::uint32_t userAddress;
  std::uint32_t count;
};
struct YatIocIndexListIn {  // WRITE_BLOCK_INDEX_REG, READ_BLOCK_INDEX_REG: {u32 index, u32 data} pairs
  YatIocHeader header;
  std::uint64_t userAddress;
  std::uint32_t count;
  std::uint32_t channel;
};
struct YatIocIndexListIn32 {
  YatIocHeader header;
  std::uint32_t userAddress;
  std::uint32_t count;
  std::uint32_t channel;
};
struct YatIocProcessingWriteIn {  // WRITE_PROCESSING_MEMORY: u32 words
  YatIocHeader header;
  std::uint32_t unit;
  std::uint32_t address;
  std::uint64_t userAddress;
  std::uint32_t count;
};
struct YatIocProcessingWriteIn32 {
  YatIocHeader header;
  std::uint32_t unit;
  std::uint32_t address;
  std::uint32_t userAddress;
  std::uint32_t count;
};
struct YatIocProcessingReadIn {  // READ_PROCESSING_MEMORY
  YatIocHeader header;
  std::uint32_t unit;
  std::uint32_t address;
  std::uint32_t count;
  std::uint64_t userAddress;
};
struct YatIocProcessingReadIn32 {
  YatIocHeader header;
  std::uint32_t unit;
  std::uint32_t address;
  std::uint32_t count;
  std::uint32_t userAddress;
};
struct YatIocWriteCmdIn {
  YatIocHeader header;
  std::uint32_t index;
  std::uint32_t kind;  // 2 pixel-clock interrupt of a channel, 4 transfer abort delay
  std::uint32_t value;
};
#pragma pack(pop)

inline constexpr std::uint32_t YAT_WRITE_CMD_PIXEL_CLOCK = 2;
inline constexpr std::uint32_t YAT_WRITE_CMD_ABORT_DELAY = 4;

static_assert(sizeof(YatIocRegisterIn) == 16 && offsetof(YatIocRegisterIn, value) == 12);
static_assert(sizeof(YatIocSetBitsIn) == 20 && offsetof(YatIocSetBitsIn, mask) == 16);
static_assert(sizeof(YatIocCacheIn) == 24);
static_assert(offsetof(YatIocCacheIn, userAddress) == 12 && offsetof(YatIocCacheIn, wordCount) == 20);
static_assert(sizeof(YatIocCacheIn32) == 20 && offsetof(YatIocCacheIn32, wordCount) == 16);
static_assert(sizeof(YatIocMemoryIn) == 28);
static_assert(offsetof(YatIocMemoryIn, userAddress) == 12 && offsetof(YatIocMemoryIn, byteCount) == 20 &&
              offsetof(YatIocMemoryIn, engine) == 24);
static_assert(sizeof(YatIocMemoryIn32) == 24 && offsetof(YatIocMemoryIn32, engine) == 20);
static_assert(sizeof(YatFpgaLoadRecord) == 280);
static_assert(offsetof(YatFpgaLoadRecord, fpgaId) == 8 && offsetof(YatFpgaLoadRecord, fileName) == 12 &&
              offsetof(YatFpgaLoadRecord, imageAddress) == 268 && offsetof(YatFpgaLoadRecord, imageSize) == 276);
static_assert(sizeof(YatFpgaLoadRecord32) == 276 && offsetof(YatFpgaLoadRecord32, imageSize) == 272);
static_assert(sizeof(YatIocFillIn) == 32);
static_assert(offsetof(YatIocFillIn, byteCount) == 12 && offsetof(YatIocFillIn, patternAddress) == 16 &&
              offsetof(YatIocFillIn, patternLength) == 24 && offsetof(YatIocFillIn, engine) == 28);
static_assert(sizeof(YatIocFillIn32) == 28 && offsetof(YatIocFillIn32, patternLength) == 20);
static_assert(sizeof(YatIocRegisterListIn) == 20 && offsetof(YatIocRegisterListIn, count) == 16);
static_assert(sizeof(YatIocRegisterListIn32) == 16 && offsetof(YatIocRegisterListIn32, count) == 12);
static_assert(sizeof(YatIocIndexListIn) == 24 && offsetof(YatIocIndexListIn, channel) == 20);
static_assert(sizeof(YatIocIndexListIn32) == 20 && offsetof(YatIocIndexListIn32, channel) == 16);
static_assert(sizeof(YatIocProcessingWriteIn) == 28 && offsetof(YatIocProcessingWriteIn, userAddress) == 16 &&
              offsetof(YatIocProcessingWriteIn, count) == 24);
static_assert(sizeof(YatIocProcessingWriteIn32) == 24 && offsetof(YatIocProcessingWriteIn32, count) == 20);
static_assert(sizeof(YatIocProcessingReadIn) == 28 && offsetof(YatIocProcessingReadIn, count) == 16 &&
              offsetof(YatIocProcessingReadIn, userAddress) == 20);
static_assert(sizeof(YatIocProcessingReadIn32) == 24 && offsetof(YatIocProcessingReadIn32, userAddress) == 20);
static_assert(sizeof(YatIocWriteCmdIn) == 20 && offsetof(YatIocWriteCmdIn, value) == 16);
