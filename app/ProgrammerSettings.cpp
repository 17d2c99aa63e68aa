#include "app/ProgrammerSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "ops/UserText.h"

namespace {

const QString kMainSection = QStringLiteral("Main Configuration");
const QString kFileListSection = QStringLiteral("File List");
const QString kMcuType = QStringLiteral("MCU Type");
const QString kEraseAll = QStringLiteral("EraseAll Mode");
const QString kUseCsm = QStringLiteral("CSM Use Option");
const QString kFileDirectory = QStringLiteral("File Directory");
const QString kPodFileName = QStringLiteral("EEP File Name");

QString KeyName(size_t k) {
  return QStringLiteral("PW KEY%1").arg(k);
}

QString RecentFileName(int i) {
  return QStringLiteral("Recent File%1").arg(i);
}

// An integer value as the registry hands it over: its low 32 bits, whatever
// was stored; text that is no number reads as 0.
uint32_t ReadInteger(const QSettings& store, const QString& key, uint32_t fallback) {
  const QVariant value = store.value(key);
  if (!value.isValid()) {
    return fallback;
  }
  return static_cast<uint32_t>(value.toLongLong());
}

bool FileExists(const QString& path) {
  return QFileInfo::exists(path);
}

// The file holds the CSM keys, so only its owner may read it, whatever the
// umask. A new file is made private before the first write: the atomic save
// then keeps the mode of the file it replaces. The mode is set again after,
// for a file that an older version left readable.
void SyncPrivately(QSettings& store) {
#ifdef Q_OS_WIN
  if (store.format() == QSettings::NativeFormat) {
    store.sync();  // the registry, which has no file modes
    return;
  }
#endif
  const QString path = store.fileName();
  constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  if (!QFile::exists(path)) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile(path).open(QIODevice::WriteOnly, kOwnerOnly);
  }
  store.sync();
  QFile::setPermissions(path, kOwnerOnly);
}

}  // namespace

ProgrammerSettings LoadSettings(QSettings& store) {
  ProgrammerSettings settings;
  store.beginGroup(kMainSection);
  settings.mcuType = static_cast<uint8_t>(ReadInteger(store, kMcuType, kDefaultMcuType));
  settings.eraseAll = ReadInteger(store, kEraseAll, 0) != 0;
  settings.useCsm = ReadInteger(store, kUseCsm, 0) != 0;
  settings.fileDirectory = store.value(kFileDirectory).toString();
  settings.podFileName = store.value(kPodFileName).toString();
  for (size_t k = 0; k < settings.keys.size(); ++k) {
    settings.keys[k] = static_cast<uint16_t>(ReadInteger(store, KeyName(k), 0xFFFF));
  }
  store.endGroup();

  store.beginGroup(kFileListSection);
  for (int i = 0; i < kMaxRecentFiles; ++i) {
    const QString path = store.value(RecentFileName(i)).toString();
    if (path.isEmpty()) {
      break;
    }
    if (FileExists(path)) {
      settings.recentFiles.append(path);
    }
  }
  store.endGroup();
  return settings;
}

void SaveSettings(QSettings& store, const ProgrammerSettings& settings) {
  store.beginGroup(kMainSection);
  store.setValue(kMcuType, settings.mcuType);
  store.setValue(kEraseAll, settings.eraseAll ? 1 : 0);
  store.setValue(kUseCsm, settings.useCsm ? 1 : 0);
  store.setValue(kFileDirectory, settings.fileDirectory);
  store.setValue(kPodFileName, settings.podFileName);
  for (size_t k = 0; k < settings.keys.size(); ++k) {
    store.setValue(KeyName(k), settings.keys[k]);
  }
  store.endGroup();

  store.beginGroup(kFileListSection);
  int written = 0;
  for (const QString& path : settings.recentFiles) {
    if (path.isEmpty() || written == kMaxRecentFiles) {
      break;
    }
    if (FileExists(path)) {
      store.setValue(RecentFileName(written++), path);
    }
  }
  for (int i = written; i < kMaxRecentFiles; ++i) {
    store.remove(RecentFileName(i));
  }
  store.endGroup();
  SyncPrivately(store);
}

void SaveFileDirectory(QSettings& store, const QString& directory) {
  store.setValue(kMainSection + QLatin1Char('/') + kFileDirectory, directory);
  SyncPrivately(store);
}

CsmKeys KeysToSave(bool useCsm, const CsmKeyTexts& keyTexts) {
  if (!useCsm) {
    return kErasedCsmKeys;
  }
  CsmKeys keys;
  std::ranges::transform(keyTexts, keys.begin(), ParseKeyText);
  if (std::ranges::all_of(keys, [](uint16_t word) { return word == 0; })) {
    return kErasedCsmKeys;
  }
  return keys;
}
