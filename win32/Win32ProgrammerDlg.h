// The programmer's one window on Windows: the controls of template 102 as a
// native dialog, a view over the dialog's model. Control notifications go to
// the model; what the model decides comes back through DialogView.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "dialog/DialogModel.h"
#include "dialog/DialogView.h"
#include "pod/Clock.h"

class Win32ProgrammerDlg final : public DialogView {
 public:
  // `store` must outlive the window. An empty `makeDriver` takes the backend
  // BRONTAFLEX_DRIVER names, else the platform's default.
  Win32ProgrammerDlg(HINSTANCE instance, SettingsStore& store, DriverFactory makeDriver = {});
  ~Win32ProgrammerDlg() override;
  Win32ProgrammerDlg(const Win32ProgrammerDlg&) = delete;
  Win32ProgrammerDlg& operator=(const Win32ProgrammerDlg&) = delete;

  // Runs the window modally until it ends.
  void RunModal();
  // Opens the window without a loop of its own, for a caller that pumps the
  // messages (the tests); it ends as the modal one does, by destroying itself.
  HWND Open();
  // Null before the window opened and once it has ended.
  HWND window() const { return window_; }
  const DialogModel& Model() const { return model_; }

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

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id, int code);
  void OnContextMenu(POINT at);
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  std::string ItemText(int id) const;
  // Sets a control's text without the model hearing of it as the user's.
  void SetItemText(int id, const std::string& text);

  HINSTANCE instance_;
  std::vector<uint16_t> template_;
  SystemClock clock_;  // declared before the model, whose operations measure time on it
  DialogModel model_;
  HWND window_ = nullptr;
  bool modal_ = false;
  // Set while the window itself changes a control, whose notification is then no user's.
  bool updating_ = false;
  bool inputHeld_ = false;
  bool waitCursor_ = false;
  HWND tooltip_ = nullptr;
  std::wstring statusDetail_;
  std::array<HBITMAP, 7> bitmaps_{};
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
};
