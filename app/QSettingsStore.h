// The Qt window's settings store: QSettings in the application's own place
// (an INI file under ~/.config/Veskora/ on Linux), readable by its owner only,
// since it holds the CSM keys.
#pragma once

#include <QSettings>
#include <string>

#include "dialog/SettingsStore.h"

class QSettingsStore final : public SettingsStore {
 public:
  // The application's settings; with `readOnly` every write is dropped, for a
  // window that must leave the user's settings as they were.
  explicit QSettingsStore(bool readOnly = false);
  // The settings in the INI file at `path`.
  explicit QSettingsStore(const QString& path);

  uint32_t ReadInteger(const std::string& section, const std::string& key,
                       uint32_t fallback) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) override;
  void WriteInteger(const std::string& section, const std::string& key, uint32_t value) override;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  void Remove(const std::string& section, const std::string& key) override;
  // Written to the file, which is created, with its folders, for its owner only.
  void Flush() override;

 private:
  QSettings settings_;
  bool readOnly_ = false;
};
