// The Win32 window's settings store: the registry under
// HKEY_CURRENT_USER\Software\<company>\<application>, one key a section,
// integers as DWORD values and strings as REG_SZ.
#pragma once

#include <string>

#include "dialog/SettingsStore.h"

class RegistrySettingsStore final : public SettingsStore {
 public:
  RegistrySettingsStore(const std::string& company, const std::string& application);

  uint32_t ReadInteger(const std::string& section, const std::string& key,
                       uint32_t fallback) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) override;
  void WriteInteger(const std::string& section, const std::string& key, uint32_t value) override;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  void Remove(const std::string& section, const std::string& key) override;
  // Every write is in the registry at once.
  void Flush() override {}

  // "Software\Veskora\brontaflex".
  const std::wstring& keyPath() const { return keyPath_; }

 private:
  std::wstring SectionPath(const std::string& section) const;

  std::wstring keyPath_;
};
