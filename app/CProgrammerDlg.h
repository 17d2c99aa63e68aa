// The programmer's one window: the controls of template 102, the start that
// restores the settings, finds the POD and loads the most recent file, the
// buttons that run the operations, and the end that saves the settings.
#pragma once

#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/BusyInputFilter.h"
#include "app/ProgrammerSettings.h"
#include "app/TemplateDialog.h"
#include "ops/OperationRequest.h"
#include "ops/OperationsUi.h"
#include "ops/ProgrammerOperations.h"
#include "pod/Clock.h"
#include "pod/CsmKeys.h"
#include "pod/FtdiDriver.h"

class CMessageLabel;
class CPercentProgressBar;
class QComboBox;

// Makes the driver the window talks through, for the device the settings name.
using DriverFactory = std::function<std::unique_ptr<FtdiDriver>(Clock& clock, uint8_t mcuType)>;

struct WindowOptions {
  // Empty: the backend BRONTAFLEX_DRIVER names, else the platform's default.
  DriverFactory makeDriver;
  // Read the settings but never write them, for a window rendered to a
  // picture that must leave the user's settings as they were.
  bool readOnlySettings = false;
};

class CProgrammerDlg : public TemplateDialog, public OperationsUi {
  Q_OBJECT

 public:
  // The About entry's command number, as the window's menu knows it.
  static constexpr int kAboutCommand = 16;

  explicit CProgrammerDlg(WindowOptions options = {}, QWidget* parent = nullptr);
  // Ends the window the usual way if nothing ended it before.
  ~CProgrammerDlg() override;

  // The status line: red text for an error, black otherwise, painted at once.
  void ShowStatus(const std::string& text, bool error) override;
  void SetBarRange(int32_t lower, int32_t upper) override;
  void SetBarStep(int32_t step) override;
  int32_t SetBarPos(int32_t position) override;
  int32_t StepBar() override;
  // Disables (busy) or enables the seven operation buttons, with the wait
  // cursor while busy.
  void SetBusy(bool busy) override;
  void AddRecentFile(const std::string& path) override;
  void ShowPodFileName(const std::string& name) override;
  void ShowAllocationFailure(const std::string& text) override;

  // Shows the words in the eight KEY edits as four hexadecimal digits each.
  void ShowCsmKeys(const CsmKeys& keys);

  // Commands 16 to 31 of the window's menu open the About box.
  void OnSysCommand(int command);

  // True once the start has finished.
  bool initialized() const { return initialized_; }
  // The recent files as the File Path list shows them, most recent first.
  const QStringList& RecentFiles() const { return recentFiles_; }
  // The operations and the image they hold; null once the window has ended.
  const ProgrammerOperations* Operations() const { return ops_.get(); }

 public slots:
  void OnCsmOption();
  void OnExit();
  void OnLoad();
  void OnBrowse();
  void OnSelchangeFilePath(int index);
  void OnTargetWrite();
  void OnTargetReset();
  void OnPodWrite();
  void OnPodVerify();
  void OnPodInfo();
  // Escape and a close request end the window as Exit does; refused while an
  // operation runs, so the window never goes away under it.
  void reject() override;
  // Every way of ending passes here: the link, driver and image are released
  // and the settings saved before the window goes.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void StartWindow();
  void EndWindow();
  void ConnectHandlers();
  std::unique_ptr<FtdiDriver> MakeDriver(uint8_t mcuType);
  // The MCU selection as the operations take it: no selection reads as 255.
  uint8_t McuSelection() const;
  CsmKeyTexts KeyTexts() const;
  // Everything an operation may read from the controls.
  OperationRequest GatherRequest() const;
  QComboBox* FilePath() const;
  // Runs one operation of the POD buttons. Meanwhile the window repaints and
  // answers the desktop whenever the link waits, and drops whatever the user
  // does, so nothing acts on the window once the result is shown.
  void RunOperation(const std::function<void()>& operation);
  // The link's idle turn: handles the pending events while an operation runs.
  void LetWindowAnswer();

  WindowOptions options_;
  SystemClock clock_;  // declared before the operations, which measure time on it
  // Why the driver named in the environment could not be used; empty when it could.
  std::string driverNameError_;
  CMessageLabel* messageLabel_;
  CPercentProgressBar* progressBar_;
  ProgrammerSettings settings_;
  QStringList recentFiles_;
  std::unique_ptr<ProgrammerOperations> ops_;
  bool initialized_ = false;
  bool busy_ = false;
  bool operationRunning_ = false;
  BusyInputFilter inputFilter_;
};
