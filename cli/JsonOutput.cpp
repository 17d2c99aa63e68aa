#include "cli/JsonOutput.h"

#include <sstream>

namespace {

template <typename Json>
std::string ScalarText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void Indent(int level, std::ostream& out) {
  out << std::string(static_cast<size_t>(level) * 4, ' ');
}

template <typename Json>
void Write(const Json& value, int level, std::ostream& out) {
  if (!value.is_structured()) {
    out << ScalarText(value);
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
      out << ScalarText(Json(key)) << ": ";
    }
    Write(item, level + 1, out);
  }
  if (!first) {
    out << '\n';
  }
  Indent(level, out);
  out << (object ? '}' : ']');
}

template <typename Json>
std::string Text(const Json& value) {
  std::ostringstream out;
  Write(value, 0, out);
  return out.str();
}

}  // namespace

std::string JsonText(const nlohmann::json& value) {
  return Text(value);
}

std::string JsonText(const nlohmann::ordered_json& value) {
  return Text(value);
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
