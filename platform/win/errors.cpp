#include "platform/win/errors.h"

#include <array>
#include <cstdio>

namespace plat {
namespace {

thread_local std::uint32_t thread_last_error = kErrorSuccess;

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

constexpr std::array kErrorTexts{
    ErrorText{kErrorSuccess, "The operation completed successfully."},
    ErrorText{kErrorInvalidFunction, "Incorrect function."},
    ErrorText{kErrorFileNotFound, "The system cannot find the file specified."},
    ErrorText{kErrorPathNotFound, "The system cannot find the path specified."},
    ErrorText{kErrorAccessDenied, "Access is denied."},
    ErrorText{kErrorInvalidHandle, "The handle is invalid."},
    ErrorText{kErrorNotEnoughMemory, "Not enough memory resources are available to process this command."},
    ErrorText{kErrorBadFormat, "An attempt was made to load a program with an incorrect format."},
    ErrorText{kErrorInvalidData, "The data is invalid."},
    ErrorText{kErrorOutOfMemory, "Not enough memory resources are available to complete this operation."},
    ErrorText{kErrorGenFailure, "A device attached to the system is not functioning."},
    ErrorText{kErrorNotSupported, "The request is not supported."},
    ErrorText{kErrorInvalidParameter, "The parameter is incorrect."},
    ErrorText{kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
    ErrorText{kErrorModNotFound, "The specified module could not be found."},
    ErrorText{kErrorProcNotFound, "The specified procedure could not be found."},
    ErrorText{kErrorAlreadyExists, "Cannot create a file when that file already exists."},
    ErrorText{kErrorEnvvarNotFound, "The system could not find the environment option that was entered."},
    ErrorText{kErrorMoreData, "More data is available."},
    ErrorText{kErrorNoMoreItems, "No more data is available."},
    ErrorText{kErrorNotOwner, "Attempt to release mutex not owned by caller."},
    ErrorText{kErrorTooManyPosts, "Too many posts were made to a semaphore."},
    ErrorText{kErrorIoPending, "Overlapped I/O operation is in progress."},
    ErrorText{kErrorNoToken, "An attempt was made to reference a token that does not exist."},
    ErrorText{kErrorDeviceNotConnected, "The device is not connected."},
    ErrorText{kErrorBadDevice, "The specified device name is invalid."},
    ErrorText{kErrorNoSuchPrivilege, "A specified privilege does not exist."},
    ErrorText{kErrorPrivilegeNotHeld, "A required privilege is not held by the client."},
    ErrorText{kErrorTimeout, "This operation returned because the timeout period expired."},
};

}  // namespace

std::uint32_t last_error() { return thread_last_error; }

void set_last_error(std::uint32_t code) { thread_last_error = code; }

std::string error_text(std::uint32_t code) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  // Codes without a message read as the platform's own fallback does.
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "Unknown error (0x%X).", code);
  return text.data();
}

}  // namespace plat
