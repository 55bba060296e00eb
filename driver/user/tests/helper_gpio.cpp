// A process that loads the board library and runs its general-purpose I/O
// and camera UART exports, one command per input line, answering one line:
//   open | close                        -> the status
//   in B U MASK [null] | in2 ...        -> "<status> <value>" (input bytes)
//   gread B U MASK [null]               -> the same, 32-bit form
//   out B U VALUE MASK | out2 | gwrite  -> the status
//   outread B U MASK [null] | outread2  -> "<status> <value>"
//   setting B U S | setting2            -> the status (output setting)
//   type B U T | level B U L | conn B U C (and type2, level2, conn2) -> the status
//   trig B U MASK MODE | trig2 | pol2 B U MASK POLARITY -> the status
//   fault B U [null] | fault2           -> "<status> <fault>"
//   insetting | insetting2 | power | power2 B U -> the status
//   present B INDEX [null]              -> "<status> <present>"
//   uread B [null]                      -> "<status> <byte>"
//   uwrite B BYTE                       -> the status
//   register T                          -> 1 or 0 (message type T)
//   route B I KIND BITS                 -> the status
//   next B MS                           -> "<status> <word> ..." (hex words of the next I/O-line
//                                          record, waited for up to MS milliseconds)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "driver/user/Pardow.h"
#include "driver/user/YatGpio.h"
#include "driver/user/tests/helper_support.h"
#include "platform/win/objects.h"

namespace {

using helper::Number;

bool Null(std::istringstream& in) {
  std::string word;
  return (in >> word) && word == "null";
}

std::string Answer(QelHwStatus status, std::uint32_t value) {
  return std::to_string(status) + " " + std::to_string(value);
}

using ByteRead = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint8_t);
using ByteWrite = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint8_t, std::uint8_t);
using WordSetting = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t);
using MaskSetting = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t);
using FaultRead = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t*);
using InputSetting = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t);

std::string ReadByte(ByteRead read, std::istringstream& in) {
  const std::uint32_t board = Number(in), unit = Number(in);
  const auto mask = static_cast<std::uint8_t>(Number(in));
  std::uint8_t value = 0;
  const QelHwStatus status = read(board, unit, Null(in) ? nullptr : &value, mask);
  return Answer(status, value);
}

std::string WriteByte(ByteWrite write, std::istringstream& in) {
  const std::uint32_t board = Number(in), unit = Number(in), value = Number(in), mask = Number(in);
  return std::to_string(write(board, unit, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(mask)));
}

std::string Setting(WordSetting set, std::istringstream& in) {
  const std::uint32_t board = Number(in), unit = Number(in);
  return std::to_string(set(board, unit, Number(in)));
}

std::string Masked(MaskSetting set, std::istringstream& in) {
  const std::uint32_t board = Number(in), unit = Number(in), mask = Number(in);
  return std::to_string(set(board, unit, mask, Number(in)));
}

std::string Fault(FaultRead read, std::istringstream& in) {
  const std::uint32_t board = Number(in), unit = Number(in);
  std::uint32_t fault = 7;
  const QelHwStatus status = read(board, unit, 0, Null(in) ? nullptr : &fault);
  return Answer(status, fault);
}

std::string NotSupported(InputSetting set, std::istringstream& in) {
  const std::uint32_t board = Number(in), unit = Number(in);
  return std::to_string(set(board, unit, 0, 0));
}

// The queue's event may still be set from a record already taken, so an
// empty queue after a wake-up waits again.
std::string NextMessage(std::istringstream& in) {
  const std::uint32_t board = Number(in), ms = Number(in);
  std::uint64_t handle = 0;
  std::uint32_t words[10] = {};
  QelHwStatus status = Yat_Event_GetHandle(board, 2, &handle);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (status == QELHW_OK) {
    status = Yat_GPIO_GetMessage(board, words, sizeof words);
    if (status != QELHW_ERROR_DATA_NO_MESSAGES || std::chrono::steady_clock::now() >= deadline) break;
    plat::wait_for_object(handle, 100);
    status = QELHW_OK;
  }
  std::string line = std::to_string(status);
  char hex[16];
  for (std::uint32_t word : words) {
    std::snprintf(hex, sizeof hex, " %x", word);
    line += hex;
  }
  return line;
}

std::string Library(const std::string& command, std::istringstream& in) {
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "close") return std::to_string(QelHw_Close());
  if (command == "register") return Yat_Event_RegisterMsg(0, Number(in)) ? "1" : "0";
  if (command == "route") {
    const std::uint32_t board = Number(in), index = Number(in), kind = Number(in);
    return std::to_string(Yat_Event_Route(board, index, kind, Number(in)));
  }
  if (command == "next") return NextMessage(in);
  return "unknown";
}

std::string Gpio(const std::string& command, std::istringstream& in) {
  if (command == "in") return ReadByte(Yat_GenPurposeIO_Input_Read, in);
  if (command == "in2") return ReadByte(Yat_GenPurposeIO_Input_Read2, in);
  if (command == "outread") return ReadByte(Yat_GenPurposeIO_Output_Read, in);
  if (command == "outread2") return ReadByte(Yat_GenPurposeIO_Output_Read2, in);
  if (command == "out") return WriteByte(Yat_GenPurposeIO_Output_Write, in);
  if (command == "out2") return WriteByte(Yat_GenPurposeIO_Output_Write2, in);
  if (command == "setting") return Setting(Yat_GenPurposeIO_Output_Setting, in);
  if (command == "setting2") return Setting(Yat_GenPurposeIO_Output_Setting2, in);
  if (command == "type") return Setting(Yat_GenPurposeIO_Output_Type, in);
  if (command == "type2") return Setting(Yat_GenPurposeIO_Output_Type2, in);
  if (command == "level") return Setting(Yat_GenPurposeIO_Input_Level, in);
  if (command == "level2") return Setting(Yat_GenPurposeIO_Input_Level2, in);
  if (command == "conn") return Setting(Yat_GenPurposeIO_Connector, in);
  if (command == "conn2") return Setting(Yat_GenPurposeIO_Connector2, in);
  if (command == "power") return Setting(Yat_GenPurposeIO_Set_Power_Good, in);
  if (command == "power2") return Setting(Yat_GenPurposeIO_Set_Power_Good2, in);
  if (command == "trig") return Masked(Yat_GenPurposeIO_Input_TriggerDetection, in);
  if (command == "trig2") return Masked(Yat_GenPurposeIO_Input_TriggerDetection2, in);
  if (command == "pol2") return Masked(Yat_GenPurposeIO_Input_Polarity2, in);
  if (command == "fault") return Fault(Yat_GenPurposeIO_Get_Fault, in);
  if (command == "fault2") return Fault(Yat_GenPurposeIO_Get_Fault2, in);
  if (command == "insetting") return NotSupported(Yat_GenPurposeIO_Input_Setting, in);
  if (command == "insetting2") return NotSupported(Yat_GenPurposeIO_Input_Setting2, in);
  return Library(command, in);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "gread") {
    const std::uint32_t board = Number(in), unit = Number(in), mask = Number(in);
    std::uint32_t value = 0;
    const QelHwStatus status = QelHw_GPIO_Read(board, unit, Null(in) ? nullptr : &value, mask);
    return Answer(status, value);
  }
  if (command == "gwrite") {
    const std::uint32_t board = Number(in), unit = Number(in), value = Number(in);
    return std::to_string(QelHw_GPIO_Write(board, unit, value, Number(in)));
  }
  if (command == "present") {
    const std::uint32_t board = Number(in), index = Number(in);
    std::uint8_t present = 7;
    const QelHwStatus status = Yat_Digital_IsIoBoardPresent(board, index, Null(in) ? nullptr : &present);
    return Answer(status, present);
  }
  if (command == "uread") {
    const std::uint32_t board = Number(in);
    std::uint8_t byte = 0;
    const QelHwStatus status = Yat_UART_Read(board, 0, Null(in) ? nullptr : &byte);
    return Answer(status, byte);
  }
  if (command == "uwrite") {
    const std::uint32_t board = Number(in);
    return std::to_string(Yat_UART_Write(board, 0, static_cast<std::uint8_t>(Number(in))));
  }
  return Gpio(command, in);
}

}  // namespace

int main() { return helper::Serve(Run); }
