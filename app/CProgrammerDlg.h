// The programmer's one window: the controls of template 102, the status line
// and the progress bar the operations report through, and the enabling of the
// seven operation buttons while one of them runs.
#pragma once

#include <cstdint>
#include <string>

#include "app/TemplateDialog.h"
#include "pod/CsmKeys.h"
#include "pod/ProgressReporter.h"

class CMessageLabel;
class CPercentProgressBar;

class CProgrammerDlg : public TemplateDialog, public ProgressReporter {
  Q_OBJECT

 public:
  // The About entry's command number, as the window's menu knows it.
  static constexpr int kAboutCommand = 16;

  explicit CProgrammerDlg(QWidget* parent = nullptr);

  // The status line: red text for an error, black otherwise, painted at once.
  void ShowStatus(const std::string& text, bool error) override;
  void SetBarRange(int32_t lower, int32_t upper) override;
  void SetBarStep(int32_t step) override;
  int32_t SetBarPos(int32_t position) override;
  int32_t StepBar() override;

  // Disables (busy) or enables the seven operation buttons.
  void SetBusy(bool busy);

  // Shows the words in the eight KEY edits as four hexadecimal digits each.
  void ShowCsmKeys(const CsmKeys& keys);

  // Commands 16 to 31 of the window's menu open the About box.
  void OnSysCommand(int command);

 public slots:
  void OnCsmOption();
  void OnExit();
  // Escape and a close request end the window as Exit does; ignored while an
  // operation runs, so the window never goes away under it.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void InitControls();
  // Lets the window answer the window manager during a long operation; clicks
  // and keys wait until the operation's handler returns.
  void LetWindowAnswer();

  CMessageLabel* messageLabel_;
  CPercentProgressBar* progressBar_;
  bool busy_ = false;
};
