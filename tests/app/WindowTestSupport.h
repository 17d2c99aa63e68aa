// What the window tests share: settings emptied before a window reads them, a
// window on an emulated POD the test can look into, COFF programs in a scratch
// folder, and a watcher that answers the modal dialogs a handler opens.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/CProgrammerDlg.h"
#include "emulator/EmulatorDriver.h"
#include "tests/support/CoffWriter.h"

// Shows a QString as text in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

// Empties the test run's private settings when constructed.
struct EmptySettings {
  EmptySettings() {
    QSettings store;
    store.clear();
    store.sync();
  }
};

// Window options whose driver is an emulated POD; `emulator` is pointed at it
// once the window has made it, and the window owns it. `mcuType` receives the
// device the window asked for.
inline WindowOptions OnEmulator(EmulatorDriver*& emulator, EmulatorConfig config = {},
                                std::optional<McuType>* mcuType = nullptr) {
  WindowOptions options;
  options.makeDriver = [&emulator, config, mcuType](Clock& clock, McuType device) {
    if (mcuType != nullptr) {
      *mcuType = device;
    }
    auto driver = std::make_unique<EmulatorDriver>(clock, config);
    emulator = driver.get();
    return driver;
  };
  return options;
}

// Words 0x1000 + seed, 0x1001 + seed, ...
inline std::vector<uint16_t> Pattern(uint32_t count, uint16_t seed) {
  std::vector<uint16_t> words(count);
  for (uint32_t i = 0; i < count; ++i) {
    words[i] = static_cast<uint16_t>(0x1000 + seed + i);
  }
  return words;
}

// An F2808 program: code in sector 3, constants in sector 1, and a section in RAM.
inline CoffWriter FlashProgram(uint16_t seed = 0) {
  CoffWriter coff;
  coff.Add(".text", 0x3E8000, Pattern(300, seed));
  coff.Add(".econst", 0x3F0000, Pattern(100, static_cast<uint16_t>(seed + 0x400)), kCoffData);
  coff.Add("ramfuncs", 0x008000, Pattern(40, static_cast<uint16_t>(seed + 0x800)));
  return coff;
}

// Sections only in RAM.
inline CoffWriter RamProgram() {
  CoffWriter coff;
  coff.Add(".text", 0x008000, Pattern(64, 0x200));
  return coff;
}

// Files made for one test, removed with the folder.
class ScratchFiles {
 public:
  QString Write(const QString& name, const std::vector<uint8_t>& bytes) const {
    const QString path = dir_.filePath(name);
    std::ofstream out(path.toStdString(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.flush()) << path.toStdString();
    return path;
  }
  QString Coff(const QString& name, const CoffWriter& program) const {
    return Write(name, program.Build());
  }
  QString Folder() const { return dir_.path() + QLatin1Char('/'); }

 private:
  QTemporaryDir dir_;
};

// While it lives, hands every modal dialog of type T that opens to `answer`,
// which must close it.
template <typename T>
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(T&)> answer) {
    QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
      auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible())
        return;
      ++seen;
      answer(*dialog);
    });
    timer_.start(5);
  }
  int seen = 0;

 private:
  QTimer timer_;
};
