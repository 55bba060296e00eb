#include "platform/win/registry_text.h"

#include <cstdio>
#include <optional>

namespace plat {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- writing -------------------------------------------------------------

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string_view as_text(const Bytes& data, std::size_t from, std::size_t length) {
  return {reinterpret_cast<const char*>(data.data()) + from, length};
}

// A string value that ends with its terminator is written as text.
std::optional<std::string> string_form(const Bytes& data) {
  if (data.empty() || data.back() != 0) return std::nullopt;
  std::string out;
  append_quoted(out, as_text(data, 0, data.size() - 1));
  return out;
}

// Each string ends with a zero and the list with one more.
std::optional<std::string> multi_string_form(const Bytes& data) {
  if (data.empty() || data.back() != 0) return std::nullopt;
  std::string out = "multi:";
  std::size_t start = 0;
  const std::size_t end = data.size() - 1;
  while (start < end) {
    std::size_t stop = start;
    while (stop < end && data[stop] != 0) ++stop;
    if (stop == end) return std::nullopt;  // last string lacks its own terminator
    if (start != 0) out += ',';
    append_quoted(out, as_text(data, start, stop - start));
    start = stop + 1;
  }
  return out;
}

std::string hex_form(std::uint32_t type, const Bytes& data) {
  char prefix[24];
  if (type == kRegBinary)
    std::snprintf(prefix, sizeof prefix, "hex:");
  else
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
  std::string out = prefix;
  for (std::size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", data[i]);
    out += byte;
  }
  return out;
}

std::string data_form(const RegistryValue& value) {
  const Bytes& data = value.data;
  std::optional<std::string> text;
  switch (value.type) {
    case kRegSz:
      text = string_form(data);
      break;
    case kRegExpandSz:
      if ((text = string_form(data))) text = "expand:" + *text;
      break;
    case kRegMultiSz:
      text = multi_string_form(data);
      break;
    case kRegDword:
      if (data.size() == 4) {
        std::uint32_t number = data[0] | (data[1] << 8) | (data[2] << 16) |
                               (static_cast<std::uint32_t>(data[3]) << 24);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        text = buffer;
      }
      break;
    default:
      break;
  }
  return text ? *text : hex_form(value.type, data);
}

void format_key(const RegistryNode& key, const std::string& path, bool is_root, std::string& out) {
  if (!is_root || !key.values.empty()) {
    out += '[' + path + "]\n";
    for (const RegistryValue& value : key.values) {
      if (value.name.empty())
        out += '@';
      else
        append_quoted(out, value.name);
      out += '=' + data_form(value) + '\n';
    }
    out += '\n';
  }
  for (const RegistryNode& subkey : key.subkeys) format_key(subkey, path + '\\' + subkey.name, false, out);
}

// ---- reading -------------------------------------------------------------

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool at_end() const { return pos_ >= text_.size(); }
  bool take(std::string_view expected) {
    if (text_.substr(pos_, expected.size()) != expected) return false;
    pos_ += expected.size();
    return true;
  }
  std::optional<std::string> quoted();
  std::optional<std::uint32_t> hex_number(std::size_t max_digits);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint32_t> Cursor::hex_number(std::size_t max_digits) {
  std::uint32_t number = 0;
  std::size_t digits = 0;
  while (pos_ < text_.size() && hex_digit(text_[pos_]) >= 0 && digits < max_digits) {
    number = (number << 4) | static_cast<std::uint32_t>(hex_digit(text_[pos_++]));
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return number;
}

std::optional<std::string> Cursor::quoted() {
  if (!take("\"")) return std::nullopt;
  std::string out;
  while (pos_ < text_.size()) {
    char c = text_[pos_++];
    if (c == '"') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (take("x")) {
      auto byte = hex_number(2);
      if (!byte) return std::nullopt;
      out += static_cast<char>(*byte);
    } else if (pos_ < text_.size()) {
      out += text_[pos_++];
    }
  }
  return std::nullopt;
}

Bytes string_bytes(const std::string& text) {
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

std::optional<Bytes> parse_hex_bytes(Cursor& in) {
  Bytes data;
  if (in.at_end()) return data;
  do {
    auto byte = in.hex_number(2);
    if (!byte) return std::nullopt;
    data.push_back(static_cast<std::uint8_t>(*byte));
  } while (in.take(","));
  return data;
}

std::optional<Bytes> parse_multi(Cursor& in) {
  Bytes data;
  if (!in.at_end()) {
    do {
      auto text = in.quoted();
      if (!text) return std::nullopt;
      Bytes one = string_bytes(*text);
      data.insert(data.end(), one.begin(), one.end());
    } while (in.take(","));
  }
  data.push_back(0);
  return data;
}

std::optional<RegistryValue> parse_data(Cursor& in) {
  RegistryValue value;
  std::optional<Bytes> data;
  if (in.take("dword:")) {
    value.type = kRegDword;
    if (auto number = in.hex_number(8))
      data = Bytes{static_cast<std::uint8_t>(*number), static_cast<std::uint8_t>(*number >> 8),
                   static_cast<std::uint8_t>(*number >> 16), static_cast<std::uint8_t>(*number >> 24)};
  } else if (in.take("expand:")) {
    value.type = kRegExpandSz;
    if (auto text = in.quoted()) data = string_bytes(*text);
  } else if (in.take("multi:")) {
    value.type = kRegMultiSz;
    data = parse_multi(in);
  } else if (in.take("hex:")) {
    value.type = kRegBinary;
    data = parse_hex_bytes(in);
  } else if (in.take("hex(")) {
    auto type = in.hex_number(8);
    if (!type || !in.take("):")) return std::nullopt;
    value.type = *type;
    data = parse_hex_bytes(in);
  } else {
    value.type = kRegSz;
    if (auto text = in.quoted()) data = string_bytes(*text);
  }
  if (!data || !in.at_end()) return std::nullopt;
  value.data = std::move(*data);
  return value;
}

std::optional<RegistryValue> parse_value_line(std::string_view line) {
  Cursor in(line);
  std::string name;
  if (!in.take("@")) {
    auto quoted = in.quoted();
    if (!quoted || quoted->empty() || !registry_value_name_valid(*quoted)) return std::nullopt;
    name = std::move(*quoted);
  }
  if (!in.take("=")) return std::nullopt;
  auto value = parse_data(in);
  if (value) value->name = std::move(name);
  return value;
}

RegistryNode* parse_key_line(std::string_view line, RegistryTree& tree) {
  std::string_view path = line.substr(1, line.size() - 2);
  std::string_view root_name = path.substr(0, path.find('\\'));
  auto root = parse_registry_root(root_name);
  if (!root) return nullptr;
  path.remove_prefix(root_name.size());
  auto parts = split_registry_path(path);
  if (!parts) return nullptr;
  return &create_registry_key(registry_root_node(tree, *root), *parts, nullptr);
}

std::string_view trim_line(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

}  // namespace

std::string format_registry(const RegistryTree& tree) {
  std::string out = "; Registry of this machine: one [key] line per key, its values below it.\n\n";
  for (std::uint32_t i = 0; i < kRegistryRootCount; ++i) {
    auto root = static_cast<RegistryRoot>(i);
    format_key(tree.roots[i], std::string(registry_root_name(root)), true, out);
  }
  return out;
}

void parse_registry(std::string_view text, RegistryTree& tree) {
  RegistryNode* key = nullptr;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = trim_line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      key = parse_key_line(line, tree);
      continue;
    }
    if (!key) continue;
    if (auto value = parse_value_line(line))
      set_registry_value(*key, value->name, value->type, std::move(value->data));
  }
}

}  // namespace plat
