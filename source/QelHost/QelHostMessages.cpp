#include <cstring>

#include "firmware/win32/QelMemBinding.h"
#include "source/QelHost/QelHostInternal.h"

namespace {

constexpr std::uint32_t kHeaderSize = sizeof(QelMessageHeader);

QelStatus AllocateMessage(std::uint32_t size, QelMessageHeader** message) {
  void* block = nullptr;
  std::uint64_t reference = 0;
  if (!QelMemAllocMsg(size, &block, &reference) || block == nullptr) return kHostNoMessagingMemory;
  *message = static_cast<QelMessageHeader*>(block);
  return QEL_OK;
}

}  // namespace

QelStatus HOSTALLOCMSG(std::uint32_t size, QelMessageHeader** message) {
  if (message == nullptr) return HostNullArgument(2);
  *message = nullptr;
  // A message holds at least its header.
  if (size < kHeaderSize) return HostInvalidArgument(1);
  if (AllocateMessage(size, message) != QEL_OK) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTALLOCMSG => No messaging memory (%d)", size);
    return kHostNoMessagingMemory;
  }
  std::memset(*message, 0, kHeaderSize);
  (*message)->size = size;
  return QEL_OK;
}

QelStatus HOSTFREEMSG(QelMessageHeader* message) {
  if (message == nullptr) return HostNullArgument(1);
  return QelMemFreeMsg(message) ? QEL_OK : HostInvalidArgument(1);
}

QelStatus HOSTALLOCANSWER(const QelMessageHeader* request, std::uint32_t size, QelMessageHeader** answer) {
  if (request == nullptr) return HostNullArgument(1);
  if (answer == nullptr) return HostNullArgument(3);
  *answer = nullptr;
  if (size < kHeaderSize) return HostInvalidArgument(2);
  if (AllocateMessage(size, answer) != QEL_OK) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTALLOCANSWER => No messaging memory (%d)", size);
    return kHostNoMessagingMemory;
  }
  QelMessageHeader header = *request;
  header.size = size;
  header.flags |= kQelMsgAnswer;
  header.destination = request->source;
  header.source = request->destination;
  header.errorText = 0;
  **answer = header;
  return QEL_OK;
}

QelStatus HOSTAPPENDERRORTOANSWER(QelMessageHeader* answer, const char* text, QelMessageHeader** result) {
  if (result == nullptr) return HostNullArgument(3);
  *result = answer;
  if (answer == nullptr || text == nullptr || (answer->flags & kQelMsgAnswer) == 0 || answer->command == 0 ||
      HostIsLocalAddress(answer->destination))
    return QEL_OK;
  const std::uint32_t oldSize = answer->size;
  const std::size_t textBytes = std::strlen(text) + 1;
  if (oldSize < kHeaderSize || textBytes > 0xFFFFFFFFu - oldSize) return HostInvalidArgument(2);
  const auto newSize = static_cast<std::uint32_t>(oldSize + textBytes);
  QelMessageHeader* longer = nullptr;
  if (AllocateMessage(newSize, &longer) != QEL_OK) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTAPPENDERRORTOANSWER => No messaging memory (%d)", newSize);
    return kHostNoMessagingMemory;
  }
  std::memcpy(longer, answer, oldSize);
  std::memcpy(reinterpret_cast<char*>(longer) + oldSize, text, textBytes);
  longer->errorText = oldSize;
  longer->size = newSize;
  QelMemFreeMsg(answer);
  *result = longer;
  return QEL_OK;
}

const char* HostAnswerErrorText(const QelMessageHeader* answer) {
  if (answer == nullptr || answer->errorText < kHeaderSize || answer->errorText >= answer->size) return nullptr;
  const char* text = reinterpret_cast<const char*>(answer) + answer->errorText;
  const std::size_t room = answer->size - answer->errorText;
  return std::memchr(text, '\0', room) != nullptr ? text : nullptr;
}

std::uint64_t HostReferenceOf(const QelMessageHeader* message) { return QelMemMapUserToKernel(message); }

QelMessageHeader* HostMessageOf(std::uint64_t reference) {
  return static_cast<QelMessageHeader*>(QelMemMapKernelToUser(reference));
}
