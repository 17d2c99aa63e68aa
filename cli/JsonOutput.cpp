#include "cli/JsonOutput.h"

#include <string>

namespace {

void Indent(int level, std::ostream& out) {
  out << std::string(static_cast<size_t>(level) * 4, ' ');
}

void Write(const nlohmann::json& value, int level, std::ostream& out) {
  if (!value.is_structured()) {
    out << value.dump();
    return;
  }
  const bool object = value.is_object();
  out << (object ? "{\n" : "[\n");
  bool first = true;
  for (const auto& [key, item] : value.items()) {
    if (!first) {
      out << ",\n";
    }
    first = false;
    Indent(level + 1, out);
    if (object) {
      out << nlohmann::json(key).dump() << ": ";
    }
    Write(item, level + 1, out);
  }
  if (!first) {
    out << '\n';
  }
  Indent(level, out);
  out << (object ? '}' : ']');
}

}  // namespace

void PrintJson(const nlohmann::json& value, std::ostream& out) {
  Write(value, 0, out);
  out << '\n';
}

nlohmann::json Latin1String(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | byte >> 6);
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}
