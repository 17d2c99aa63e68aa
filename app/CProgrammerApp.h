// The programmer application: one running window per user session, settings
// kept under the company "Veskora" and the executable's name, and the main
// window run modally until it closes.
#pragma once

#include <QApplication>
#include <QLockFile>
#include <QString>
#include <optional>

class CProgrammerApp : public QApplication {
  Q_OBJECT

 public:
  CProgrammerApp(int& argc, char** argv);

  // Runs the window, or with "--screenshot PATH" renders it into a PNG.
  // Returns the process's exit status.
  int Run();

 private:
  // Takes the lock "Brontaflex"; a second start ends here at once and
  // silently, with status 0. Otherwise runs the window to its end.
  int InitInstance();
  int Screenshot(const QString& path);
  void SetSettingsRoot();

  std::optional<QLockFile> instanceLock_;  // held for the life of the process
};
