// The programmer's one window in Qt: the controls of template 102 as a view
// over the dialog's model. Widget events go to the model; what the model
// decides comes back through DialogView and is set on the widgets.
#pragma once

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/BusyInputFilter.h"
#include "app/QSettingsStore.h"
#include "app/TemplateDialog.h"
#include "dialog/DialogModel.h"
#include "dialog/DialogView.h"
#include "pod/Clock.h"

class CMessageLabel;
class CPercentProgressBar;
class QComboBox;

struct WindowOptions {
  // Empty: the backend BRONTAFLEX_DRIVER names, else the platform's default.
  DriverFactory makeDriver;
  // Read the settings but never write them, for a window rendered to a
  // picture that must leave the user's settings as they were.
  bool readOnlySettings = false;
};

class CProgrammerDlg : public TemplateDialog, public DialogView {
  Q_OBJECT

 public:
  // The About entry's command number, as the window's menu knows it.
  static constexpr int kAboutCommand = DialogModel::kAboutCommand;

  explicit CProgrammerDlg(WindowOptions options = {}, QWidget* parent = nullptr);
  // Ends the window the usual way if nothing ended it before.
  ~CProgrammerDlg() override;

  // DialogView.
  void ShowStatus(const std::string& text, bool error) override;
  void SetBarRange(int32_t lower, int32_t upper) override;
  void SetBarStep(int32_t step) override;
  int32_t SetBarPos(int32_t position) override;
  int32_t StepBar() override;
  void EnableButton(DialogButton button, bool enabled) override;
  void ShowWaitCursor(bool wait) override;
  void ShowMcuType(int index) override;
  void ShowEraseAll(bool eraseAll) override;
  void ShowCsmOption(bool useCsm) override;
  void ShowKeyCaption(int k, const std::string& caption) override;
  void ShowKeyText(int k, const std::string& text) override;
  void EnableKeyEdits(bool enabled) override;
  void ShowRecentFiles(const std::vector<std::string>& files) override;
  void ShowFilePath(const std::string& path) override;
  void ShowPodFileName(const std::string& name) override;
  void ShowStatusDetail(const std::string& detail) override;
  void ShowAllocationFailure(const std::string& text) override;
  void ShowAboutBox() override;
  std::optional<std::string> AskForProgramFile(const std::string& folder) override;
  void HoldInput(bool held) override;
  void AnswerDesktop() override;
  void CloseWindow() override;

  // Disables (busy) or enables the seven operation buttons, with the wait
  // cursor while busy, as the model orders them.
  void SetBusy(bool busy) { model_.SetBusy(busy); }
  // Commands 16 to 31 of the window's menu open the About box.
  void OnSysCommand(int command) { model_.OnSysCommand(command); }

  // True once the start has finished.
  bool initialized() const { return model_.initialized(); }
  // The recent files as the File Path list shows them, most recent first.
  QStringList RecentFiles() const;
  // The operations and the image they hold; null once the window has ended.
  const ProgrammerOperations* Operations() const { return model_.Operations(); }
  const DialogModel& Model() const { return model_; }

 public slots:
  void OnLoad() { model_.OnLoad(); }
  void OnTargetWrite() { model_.OnTargetWrite(); }
  // Escape and a close request end the window as Exit does; refused while an
  // operation runs, so the window never goes away under it.
  void reject() override { model_.OnExit(); }
  // Every way of ending passes here: the link, driver and image are released
  // and the settings saved before the window goes.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void SetUpControls();
  void ConnectHandlers();
  QComboBox* FilePath() const;

  WindowOptions options_;
  SystemClock clock_;  // declared before the model, whose operations measure time on it
  QSettingsStore store_;
  CMessageLabel* messageLabel_;
  CPercentProgressBar* progressBar_;
  DialogModel model_;
  BusyInputFilter inputFilter_;
  bool waitCursor_ = false;
};
