// The I2C bus and its EEPROMs, driven bit by bit through the bus register the
// way a master on the driver's side drives it.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/board/eeprom_images.h"
#include "platform/board/i2c_bus.h"
#include "platform/testing/machine_fixture.h"

namespace plat::board {
namespace {

// A bit-banging master over the register; it only sees what the register reads.
class Master {
 public:
  explicit Master(I2cBus& bus) : bus_(bus) {}

  void Set(bool clock, bool data) {
    i2c_bus_write(bus_, kRegI2c, (clock ? kI2cClockRelease : 0) | (data ? kI2cDataRelease : 0) | 0xFFFFFF00);
  }
  bool Data() const { return (Read() & kI2cDataLevel) != 0; }
  bool Clock() const { return (Read() & kI2cClockLevel) != 0; }

  void Start() {
    Set(1, 1);
    Set(0, 1);
    Set(1, 1);
    Set(1, 0);
    Set(0, 0);
  }
  void Stop() {
    Set(0, 0);
    Set(1, 0);
    Set(1, 1);
  }
  // True when the slave acknowledged.
  bool Out(std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool level = (byte >> bit) & 1;
      Set(0, level);
      Set(1, level);
      Set(0, level);
    }
    Set(0, 1);
    Set(1, 1);
    const bool acknowledged = !Data();
    Set(0, 1);
    return acknowledged;
  }
  std::uint8_t In(bool acknowledge) {
    std::uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit) {
      Set(0, 1);
      Set(1, 1);
      byte = static_cast<std::uint8_t>(byte << 1 | (Data() ? 1 : 0));
      Set(0, 1);
    }
    Set(0, !acknowledge);
    Set(1, !acknowledge);
    Set(0, !acknowledge);
    return byte;
  }

  bool Write(std::uint8_t device, std::uint8_t sub, const std::vector<std::uint8_t>& data) {
    Start();
    bool ok = Out(device) && Out(sub);
    for (std::size_t i = 0; ok && i < data.size(); ++i) ok = Out(data[i]);
    Stop();
    return ok;
  }
  bool Read(std::uint8_t device, std::uint8_t sub, std::size_t count, std::vector<std::uint8_t>* data) {
    Start();
    bool ok = Out(device) && Out(sub);
    Stop();
    if (!ok) return false;
    Start();
    ok = Out(device | 1);
    for (std::size_t i = 0; ok && i < count; ++i) data->push_back(In(i + 1 < count));
    Stop();
    return ok;
  }

 private:
  std::uint32_t Read() const {
    std::uint32_t value = 0;
    EXPECT_TRUE(i2c_bus_read(bus_, kRegI2c, &value));
    return value;
  }
  I2cBus& bus_;
};

class I2cBusTest : public ::testing::Test {
 protected:
  void Open(std::uint16_t model = 0x1001) { i2c_bus_open(bus_, model, 0, machine_.path("boards/0")); }

  // Acknowledge polling: true once the device answers its address.
  bool Poll(std::uint8_t address) {
    master_.Start();
    const bool acknowledged = master_.Out(address);
    master_.Stop();
    return acknowledged;
  }

  plat::testing::ScopedMachine machine_;
  I2cBus bus_;
  Master master_{bus_};
};

TEST_F(I2cBusTest, DefaultMainImageDescribesEachModel) {
  for (std::uint16_t model : {0x1001, 0x1002}) {
    SCOPED_TRACE(model);
    I2cBus bus;
    i2c_bus_open(bus, model, 0, "");
    Master master(bus);
    std::vector<std::uint8_t> image;
    ASSERT_TRUE(master.Read(kEepromMain, 0, 256, &image));
    ASSERT_EQ(image.size(), 256u);
    EXPECT_EQ(image[0], kEepromSignature);
    EXPECT_EQ(image[38] | image[39] << 8, model);
    EXPECT_EQ(image[12] & 0x10, 0) << "the daughter board is probed";
    EXPECT_EQ(eeprom_memory_megabytes(i2c_bus_eeprom(bus, kEepromMain)->memory), 1024u);
    EXPECT_TRUE(master.Clock());
    EXPECT_TRUE(master.Data()) << "both lines are released after the stop";
  }
}

TEST_F(I2cBusTest, PositionsAnswerAsFitted) {
  Open();
  struct Case {
    std::uint8_t address;
    bool answers;
    std::uint8_t first_byte;
  } cases[] = {{kEepromMain, true, 0xA5}, {kEepromSecond, true, 0xFF}, {kEepromFourth, true, 0xFF},
               {kEepromDaughter, false, 0}, {0xA6, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    std::vector<std::uint8_t> data;
    EXPECT_EQ(master_.Read(c.address, 0, 1, &data), c.answers);
    if (c.answers) {
      EXPECT_EQ(data.at(0), c.first_byte);
    }
    EXPECT_TRUE(master_.Data() && master_.Clock());
  }
  i2c_bus_eeprom(bus_, kEepromDaughter)->present = true;
  std::vector<std::uint8_t> data;
  ASSERT_TRUE(master_.Read(kEepromDaughter, 0, 1, &data));
  EXPECT_EQ(data.at(0), kEepromSignature);
}

TEST_F(I2cBusTest, NoAcknowledgeFaultRefusesTheAddress) {
  Open();
  i2c_bus_eeprom(bus_, kEepromMain)->no_acknowledge = true;
  master_.Start();
  EXPECT_FALSE(master_.Out(kEepromMain));
  master_.Stop();
  EXPECT_TRUE(master_.Data() && master_.Clock());
  i2c_bus_eeprom(bus_, kEepromMain)->no_acknowledge = false;
  std::vector<std::uint8_t> data;
  EXPECT_TRUE(master_.Read(kEepromMain, 0, 1, &data));
}

TEST_F(I2cBusTest, ClockHeldLowReadsLowAndFreezesTheSlaves) {
  Open();
  i2c_bus_hold_clock(bus_, true);
  master_.Set(1, 1);
  EXPECT_FALSE(master_.Clock());
  std::uint32_t value = 0;
  i2c_bus_read(bus_, kRegI2c, &value);
  EXPECT_EQ(value, kI2cClockRelease | kI2cDataRelease | kI2cDataLevel);
  std::vector<std::uint8_t> data;
  EXPECT_FALSE(master_.Read(kEepromMain, 0, 1, &data));
  i2c_bus_hold_clock(bus_, false);
  master_.Stop();
  EXPECT_TRUE(master_.Read(kEepromMain, 0, 1, &data));
}

TEST_F(I2cBusTest, PageWriteTakesAWriteCycleAndPersists) {
  Open();
  i2c_bus_eeprom(bus_, kEepromSecond)->write_cycle = std::chrono::milliseconds(500);
  ASSERT_TRUE(master_.Write(kEepromSecond, 0x10, {1, 2, 3, 4, 5, 6, 7, 8}));
  // Busy with the write cycle: the address is not acknowledged until it ends.
  EXPECT_FALSE(Poll(kEepromSecond));
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Poll(kEepromSecond) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::vector<std::uint8_t> data;
  ASSERT_TRUE(master_.Read(kEepromSecond, 0x0F, 10, &data));
  EXPECT_EQ(data, (std::vector<std::uint8_t>{0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0xFF}));

  const std::string file = plat::testing::read_file(machine_.path("boards/0/eeprom-A2.bin"));
  ASSERT_EQ(file.size(), 256u);
  EXPECT_EQ(static_cast<std::uint8_t>(file[0x11]), 2);
  I2cBus reopened;
  i2c_bus_open(reopened, 0x1001, 0, machine_.path("boards/0"));
  EXPECT_EQ(i2c_bus_eeprom(reopened, kEepromSecond)->memory[0x17], 8);
}

TEST_F(I2cBusTest, BurstWrapsInsideItsPageAndAStartDropsAnUnstoppedWrite) {
  Open();
  ASSERT_TRUE(master_.Write(kEepromFourth, 6, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  const EepromImage& memory = i2c_bus_eeprom(bus_, kEepromFourth)->memory;
  EXPECT_EQ(memory[6], 18);
  EXPECT_EQ(memory[7], 19);
  EXPECT_EQ(memory[0], 12);
  EXPECT_EQ(memory[8], 0xFF);

  i2c_bus_eeprom(bus_, kEepromFourth)->busy_until = {};  // the cycle is not what this checks
  master_.Start();
  ASSERT_TRUE(master_.Out(kEepromFourth) && master_.Out(0x40) && master_.Out(0x55));
  master_.Start();  // no stop: the byte is never written
  master_.Stop();
  EXPECT_EQ(i2c_bus_eeprom(bus_, kEepromFourth)->memory[0x40], 0xFF);
}

}  // namespace
}  // namespace plat::board
