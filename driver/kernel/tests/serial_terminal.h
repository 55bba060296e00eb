// What a terminal program does with a serial port's terminal: open it, make
// it raw with a baud rate (any rate, as the kernel allows), character size
// and parity, and read and write it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

enum class TerminalParity { kNone, kOdd, kEven };

// -1 when it cannot be opened.
int OpenTerminal(const std::string& path);
bool SetTerminalLine(int fd, std::uint32_t baud, int dataBits, TerminalParity parity);
bool WriteTerminal(int fd, const std::vector<std::uint8_t>& bytes);
// Reads until `count` bytes came or the time-out passed.
std::vector<std::uint8_t> ReadTerminal(int fd, std::size_t count, std::chrono::milliseconds timeout);
// Reads until nothing more comes for `quiet`.
std::vector<std::uint8_t> ReadTerminalUntilQuiet(int fd, std::chrono::milliseconds quiet);
