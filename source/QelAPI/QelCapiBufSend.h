// What the buffer stubs share: argument checks with their log lines, the
// request body after the header, and the exchange with the answer's fields
// copied out.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "source/QelAPI/QelCapiBuf.h"

namespace capibuf {

QelStatus Refuse(QelStatus status, const char* file, int line);
#define CAPIBUF_REFUSE(status) ::capibuf::Refuse((status), __FILE__, __LINE__)

bool IsBufferHandle(const QelHandle* handle);
bool IsServerHandle(const QelHandle* handle);
// 0 when the pointer may be read (or written) for size bytes; else the
// argument's status (0x36 null, 0x35 unusable range).
QelStatus CheckRange(const void* pointer, std::uint64_t size, std::uint32_t argument);

// The request after the header: the handle, then the fields.
class Body {
 public:
  explicit Body(const QelHandle* handle) { Add(handle, sizeof(QelHandle)); }
  Body& Word(std::uint32_t value) { return Add(&value, sizeof value); }
  Body& Quad(std::uint64_t value) { return Add(&value, sizeof value); }
  Body& Bytes(const void* data, std::uint64_t size) { return Add(data, size); }
  Body& Handle(const QelHandle* handle);  // zeros for none
  Body& Name(const char* text);           // a 256-byte field, at most 255 characters
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  Body& Add(const void* data, std::uint64_t size) {
    const auto* start = static_cast<const std::uint8_t*>(data);
    if (start != nullptr) bytes_.insert(bytes_.end(), start, start + size);
    else bytes_.resize(bytes_.size() + size, 0);
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

// A piece of the answer's payload to copy out.
struct Out {
  std::uint32_t offset;  // from the start of the payload (message offset 36)
  void* target;
  std::uint32_t size;
};

// Sends the body to the handle's server and copies the pieces of a
// successful answer (a short answer copies what it holds).
QelStatus Send(std::uint32_t destination, std::uint32_t command, const Body& body,
               std::initializer_list<Out> outs = {});

// The creating stubs: a client block, the exchange, the handle kept.
QelStatus Create(std::uint32_t server, std::uint32_t command, const Body& body, QelHandle** out);
bool IsClientBlock(const QelHandle* handle);
QelBufferClientBlock* ClientBlockOf(const QelHandle* handle);
void ForgetClientBlock(QelHandle* handle);

}  // namespace capibuf
