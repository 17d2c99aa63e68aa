#include "app/CProgrammerApp.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QStandardPaths>
#include <cstdio>
#include <utility>

#include "app/CProgrammerDlg.h"

namespace {

QString LockFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
         QStringLiteral("/Brontaflex.lock");
}

}  // namespace

CProgrammerApp::CProgrammerApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CProgrammerApp::Run() {
  const QStringList args = arguments();
  const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
  if (at > 0 && at + 1 < args.size())
    return Screenshot(args[at + 1]);
  return InitInstance();
}

void CProgrammerApp::SetSettingsRoot() {
  setOrganizationName(QStringLiteral("Veskora"));
  // A copy of the program under another name keeps settings of its own.
  setApplicationName(QFileInfo(applicationFilePath()).completeBaseName());
}

int CProgrammerApp::InitInstance() {
  instanceLock_.emplace(LockFilePath());
  // The lock file names the process holding it, so a lock left by a crashed
  // instance is recognised as stale at once. Its age says nothing: a window
  // may stay open for days and still hold the lock.
  instanceLock_->setStaleLockTime(0);
  // Only a lock held by a running instance turns us away; when the lock file
  // cannot be made at all we run as the first instance.
  if (!instanceLock_->tryLock(0) && instanceLock_->error() == QLockFile::LockFailedError) {
    return 0;
  }
  SetSettingsRoot();
  CProgrammerDlg dialog;
  dialog.exec();
  return 0;
}

int CProgrammerApp::Screenshot(const QString& path) {
  SetSettingsRoot();
  // No lock is taken here, so another window may be running: this one only
  // shows the user's settings and must not write over them.
  WindowOptions options;
  options.readOnlySettings = true;
  CProgrammerDlg dialog(std::move(options));
  dialog.show();
  const QFileInfo file(path);
  if (!QDir().mkpath(file.absolutePath()) || !dialog.grab().save(path, "PNG")) {
    std::fprintf(stderr, "Cannot write %s\n", qPrintable(file.absoluteFilePath()));
    return 1;
  }
  return 0;
}
