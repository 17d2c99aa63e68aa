// What the window tests share: settings emptied before a window reads them,
// and a window on an emulated POD the test can look into.
#pragma once

#include <QSettings>
#include <memory>

#include "app/CProgrammerDlg.h"
#include "emulator/EmulatorDriver.h"

// Empties the test run's private settings when constructed.
struct EmptySettings {
  EmptySettings() {
    QSettings store;
    store.clear();
    store.sync();
  }
};

// Window options whose driver is an emulated POD; `emulator` is pointed at it
// once the window has made it, and the window owns it.
inline WindowOptions OnEmulator(EmulatorDriver*& emulator, EmulatorConfig config = {}) {
  WindowOptions options;
  options.makeDriver = [&emulator, config](Clock& clock, uint8_t) {
    auto driver = std::make_unique<EmulatorDriver>(clock, config);
    emulator = driver.get();
    return driver;
  };
  return options;
}
