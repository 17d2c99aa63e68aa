#include "app/QSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

QString Key(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Creates the folders of `folder` that are missing, each for its owner only,
// whatever the umask: the settings in them are nobody else's business.
void MakeFoldersPrivately(const QString& folder) {
  QStringList missing;
  for (QFileInfo info(folder); !info.exists() && !info.isRoot();
       info = QFileInfo(info.absolutePath())) {
    missing.prepend(info.absoluteFilePath());
  }
  for (const QString& path : missing) {
    QDir().mkdir(path, kOwnerOnly | QFileDevice::ExeOwner);
  }
}

}  // namespace

QSettingsStore::QSettingsStore(bool readOnly) : readOnly_(readOnly) {}

QSettingsStore::QSettingsStore(const QString& path) : settings_(path, QSettings::IniFormat) {}

uint32_t QSettingsStore::ReadInteger(const std::string& section, const std::string& key,
                                     uint32_t fallback) {
  // As the registry hands an integer over: its low 32 bits, whatever was
  // stored; text that is no number reads as 0.
  const QVariant value = settings_.value(Key(section, key));
  return value.isValid() ? static_cast<uint32_t>(value.toLongLong()) : fallback;
}

std::string QSettingsStore::ReadString(const std::string& section, const std::string& key,
                                       const std::string& fallback) {
  const QVariant value = settings_.value(Key(section, key));
  return value.isValid() ? value.toString().toStdString() : fallback;
}

void QSettingsStore::WriteInteger(const std::string& section, const std::string& key,
                                  uint32_t value) {
  if (!readOnly_) {
    settings_.setValue(Key(section, key), value);
  }
}

void QSettingsStore::WriteString(const std::string& section, const std::string& key,
                                 const std::string& value) {
  if (!readOnly_) {
    settings_.setValue(Key(section, key), QString::fromStdString(value));
  }
}

void QSettingsStore::Remove(const std::string& section, const std::string& key) {
  if (!readOnly_) {
    settings_.remove(Key(section, key));
  }
}

// A new file is made private before the first write: the atomic save then
// keeps the mode of the file it replaces. The mode is set again after, for a
// file that an older version left readable.
void QSettingsStore::Flush() {
  if (readOnly_) {
    return;
  }
#ifdef Q_OS_WIN
  if (settings_.format() == QSettings::NativeFormat) {
    settings_.sync();  // the registry, which has no file modes
    return;
  }
#endif
  const QString path = settings_.fileName();
  if (!QFile::exists(path)) {
    MakeFoldersPrivately(QFileInfo(path).absolutePath());
    QFile(path).open(QIODevice::WriteOnly, kOwnerOnly);
  }
  settings_.sync();
  QFile::setPermissions(path, kOwnerOnly);
}
