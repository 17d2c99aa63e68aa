// Runs the window tests inside one QApplication, off screen unless the caller
// chose a platform. Settings, state and the emulated POD's store live in a
// folder of the run's own, so the user's real settings are never read or written.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  if (!home.isValid())
    return 2;
  qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
  qputenv("XDG_STATE_HOME", home.filePath("state").toLocal8Bit());
  qputenv("BRONTAFLEX_EMULATOR_STATE", home.filePath("state/emulated-pod").toLocal8Bit());
  // A window made without a driver of the test's choosing talks to the emulator.
  qputenv("BRONTAFLEX_DRIVER", "emulator");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath("config"));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.filePath("config"));

  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Veskora"));
  QApplication::setApplicationName(QStringLiteral("brontaflex-tests"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
