// What the dialog's model asks of a window: show what the model decided, and
// the few things only a window can do (a file chooser, the About box, the
// wait cursor, dropping input while an operation runs). A window implements
// it once and decides nothing itself.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ops/OperationRequest.h"
#include "ops/OperationsUi.h"
#include "resources/DialogTemplates.h"
#include "resources/ResourceIds.h"

// The seven push buttons that the model enables and disables.
enum class DialogButton { Load, TargetReset, PodInfo, Exit, PodWrite, PodVerify, TargetWrite };

// Each push button: its control in the template and its picture.
struct DialogButtonControl {
  DialogButton button;
  int id;
  int bitmap;
};
inline constexpr std::array<DialogButtonControl, 7> kDialogButtons{{
    {DialogButton::Load, IDC_LOAD, kBitmapLoad},
    {DialogButton::TargetReset, IDC_TARGET_RESET, kBitmapTargetReset},
    {DialogButton::PodWrite, IDC_POD_WRITE, kBitmapPodWrite},
    {DialogButton::PodVerify, IDC_POD_VERIFY, kBitmapPodVerify},
    {DialogButton::TargetWrite, IDC_TARGET_WRITE, kBitmapTargetWrite},
    {DialogButton::PodInfo, IDC_POD_INFO, kBitmapPodInfo},
    {DialogButton::Exit, IDC_EXIT, kBitmapExit},
}};

// ShowStatus paints the status line at once (red for an error, black
// otherwise); the bar's calls move the progress bar, which repaints when its
// drawn width changes.
class DialogView : public ProgressReporter {
 public:
  virtual void EnableButton(DialogButton button, bool enabled) = 0;
  virtual void ShowWaitCursor(bool wait) = 0;
  virtual void ShowMcuType(int index) = 0;
  virtual void ShowEraseAll(bool eraseAll) = 0;
  virtual void ShowCsmOption(bool useCsm) = 0;
  virtual void ShowKeyCaption(int k, const std::string& caption) = 0;
  virtual void ShowKeyText(int k, const std::string& text) = 0;
  virtual void EnableKeyEdits(bool enabled) = 0;
  // The File Path list, most recent first, and the text its edit shows.
  virtual void ShowRecentFiles(const std::vector<std::string>& files) = 0;
  virtual void ShowFilePath(const std::string& path) = 0;
  virtual void ShowPodFileName(const std::string& name) = 0;
  // More about the status line than its one sentence: which POD and driver
  // the last run used, why a command failed and what fixes it. A tooltip and
  // the status line's accessible description, never the line itself.
  virtual void ShowStatusDetail(const std::string& detail) = 0;
  virtual void ShowAllocationFailure(const std::string& text) = 0;
  virtual void ShowAboutBox() = 0;
  // The file the user chose in a chooser opened in `folder` (empty: the
  // window's choice), or nothing when the chooser was cancelled.
  virtual std::optional<std::string> AskForProgramFile(const std::string& folder) = 0;
  // While held, whatever the user does is dropped, then and later.
  virtual void HoldInput(bool held) = 0;
  // A turn for the window to repaint and answer the desktop while the POD is
  // busy; input stays dropped.
  virtual void AnswerDesktop() = 0;
  // Ends the window; the model has already done its end.
  virtual void CloseWindow() = 0;
};
