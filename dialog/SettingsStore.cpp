#include "dialog/SettingsStore.h"

#include <charconv>

uint32_t MemorySettingsStore::ReadInteger(const std::string& section, const std::string& key,
                                          uint32_t fallback) {
  const auto value = Find(section, key);
  if (!value) {
    return fallback;
  }
  if (const auto* number = std::get_if<uint32_t>(&*value)) {
    return *number;
  }
  const std::string& text = std::get<std::string>(*value);
  int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() ? static_cast<uint32_t>(number)
                                                                  : 0;
}

std::string MemorySettingsStore::ReadString(const std::string& section, const std::string& key,
                                            const std::string& fallback) {
  const auto value = Find(section, key);
  if (!value) {
    return fallback;
  }
  if (const auto* number = std::get_if<uint32_t>(&*value)) {
    return std::to_string(*number);
  }
  return std::get<std::string>(*value);
}

std::optional<MemorySettingsStore::Value> MemorySettingsStore::Find(const std::string& section,
                                                                    const std::string& key) const {
  const auto found = values_.find({section, key});
  if (found == values_.end()) {
    return std::nullopt;
  }
  return found->second;
}
