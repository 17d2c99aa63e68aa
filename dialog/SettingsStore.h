// Where the window keeps what it remembers: integer and string values by
// section and key. The Qt window keeps them in an INI file, the Win32 window
// in the registry, the tests in memory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The value's low 32 bits, or `fallback` when there is none; text that is
  // no number reads as 0.
  virtual uint32_t ReadInteger(const std::string& section, const std::string& key,
                               uint32_t fallback) = 0;
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) = 0;
  virtual void WriteInteger(const std::string& section, const std::string& key, uint32_t value) = 0;
  virtual void WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
  virtual void Remove(const std::string& section, const std::string& key) = 0;
  // Makes what was written lasting.
  virtual void Flush() = 0;
};

// A store that lives only as long as the object, for the tests and for a
// window that must leave the user's settings alone.
class MemorySettingsStore final : public SettingsStore {
 public:
  using Value = std::variant<uint32_t, std::string>;

  uint32_t ReadInteger(const std::string& section, const std::string& key,
                       uint32_t fallback) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) override;
  void WriteInteger(const std::string& section, const std::string& key, uint32_t value) override {
    values_[{section, key}] = value;
  }
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override {
    values_[{section, key}] = value;
  }
  void Remove(const std::string& section, const std::string& key) override {
    values_.erase({section, key});
  }
  void Flush() override { ++flushes_; }

  std::optional<Value> Find(const std::string& section, const std::string& key) const;
  int flushes() const { return flushes_; }

 private:
  std::map<std::pair<std::string, std::string>, Value> values_;
  int flushes_ = 0;
};
