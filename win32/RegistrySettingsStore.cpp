#include "win32/RegistrySettingsStore.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "win32/WideText.h"

RegistrySettingsStore::RegistrySettingsStore(const std::string& company,
                                             const std::string& application)
    : keyPath_(L"Software\\" + Wide(company) + L"\\" + Wide(application)) {}

std::wstring RegistrySettingsStore::SectionPath(const std::string& section) const {
  return keyPath_ + L"\\" + Wide(section);
}

uint32_t RegistrySettingsStore::ReadInteger(const std::string& section, const std::string& key,
                                            uint32_t fallback) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), Wide(key).c_str(),
                   RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS) {
    return value;
  }
  // A value stored as text reads as the number it spells, 0 when it spells none.
  const std::string text = ReadString(section, key, {});
  if (text.empty()) {
    return fallback;
  }
  const long long number = std::wcstoll(Wide(text).c_str(), nullptr, 10);
  return static_cast<uint32_t>(number);
}

std::string RegistrySettingsStore::ReadString(const std::string& section, const std::string& key,
                                              const std::string& fallback) {
  const std::wstring path = SectionPath(section);
  const std::wstring name = Wide(key);
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return fallback;
  }
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                   text.data(), &size) != ERROR_SUCCESS) {
    return fallback;
  }
  return Utf8(text.data());
}

void RegistrySettingsStore::WriteInteger(const std::string& section, const std::string& key,
                                         uint32_t value) {
  const DWORD word = value;
  RegSetKeyValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), Wide(key).c_str(), REG_DWORD,
                  &word, sizeof word);
}

void RegistrySettingsStore::WriteString(const std::string& section, const std::string& key,
                                        const std::string& value) {
  const std::wstring text = Wide(value);
  RegSetKeyValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), Wide(key).c_str(), REG_SZ,
                  text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void RegistrySettingsStore::Remove(const std::string& section, const std::string& key) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), Wide(key).c_str());
}
