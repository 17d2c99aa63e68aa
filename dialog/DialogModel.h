// The programmer dialog without a window: what each control shows, what the
// user's events do, and every rule of the window (its start and end, the
// recent files, the busy buttons, one operation at a time, the CSM keys, the
// browse folder, the status line). A window shows what the model tells its
// DialogView and hands the user's events to it, and decides nothing itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/DialogView.h"
#include "dialog/PercentBar.h"
#include "dialog/ProgrammerSettings.h"
#include "dialog/SettingsStore.h"
#include "image/McuCatalogue.h"
#include "ops/DriverSelection.h"
#include "ops/OperationRequest.h"
#include "ops/OperationsUi.h"
#include "ops/ProgrammerOperations.h"
#include "pod/Clock.h"
#include "pod/PortDriver.h"

// Makes the driver the window talks through, for the device the settings name.
using DriverFactory = std::function<std::unique_ptr<PortDriver>(Clock& clock, McuType mcuType)>;

// The window's title.
std::string DialogTitle();

class DialogModel final : public OperationsUi {
 public:
  // The window's menu command that opens the About box; 17 to 31 do too.
  static constexpr int kAboutCommand = 16;

  // `view`, `store` and `clock` must outlive the model. An empty `makeDriver`
  // takes the backend BRONTAFLEX_DRIVER names, else the platform's default.
  DialogModel(DialogView& view, SettingsStore& store, Clock& clock, DriverFactory makeDriver = {});
  ~DialogModel() override;
  DialogModel(const DialogModel&) = delete;
  DialogModel& operator=(const DialogModel&) = delete;

  // The window's start: settings read, controls filled, the POD looked for
  // and the most recent file loaded.
  void Start();
  // The window's end, however it ends: the link closed, the driver and image
  // released, the settings saved. Once only.
  void End();

  // What the user changed in a control.
  void OnMcuSelected(int index);
  void OnEraseAllChosen(bool eraseAll);
  void OnCsmOption(bool useCsm);
  void OnKeyEdited(int k, const std::string& text);
  void OnFilePathEdited(const std::string& text);
  void OnPodFileNameEdited(const std::string& text);
  // An entry of the File Path list was chosen.
  void OnRecentFileChosen(int index);

  // The buttons.
  void OnLoad();
  void OnBrowse();
  void OnTargetWrite();
  void OnTargetReset();
  void OnPodWrite();
  void OnPodVerify();
  void OnPodInfo();
  // Exit, Escape and a close request: the window ends unless an operation runs.
  void OnExit();
  // Enter where no push button has the focus (on one, it presses that button):
  // the window ends as with Exit.
  void OnEnter() { OnExit(); }
  void OnSysCommand(int command);

  // OperationsUi: what the operations report, shown through the view.
  void ShowStatus(const std::string& text, bool error) override;
  void SetBarRange(int32_t lower, int32_t upper) override;
  void SetBarStep(int32_t step) override;
  int32_t SetBarPos(int32_t position) override;
  int32_t StepBar() override;
  // Disables (busy) or enables the seven push buttons in the window's order,
  // with the wait cursor while busy.
  void SetBusy(bool busy) override;
  void AddRecentFile(const std::string& path) override;
  void ShowPodFileName(const std::string& name) override;
  void ShowAllocationFailure(const std::string& text) override;
  void ShowFailureCause(const FailureCause& cause) override;
  void ShowWarning(const std::string& text) override;
  void ShowPortsSeen(const std::vector<PortDetails>& ports) override;
  void ShowBackendsPassedOver(const std::vector<BackendProbe>& probes) override;
  std::string HowToChoosePod() const override;

  bool initialized() const { return initialized_; }
  bool busy() const { return busy_; }
  bool operationRunning() const { return operationRunning_; }
  const std::vector<std::string>& recentFiles() const { return recentFiles_; }
  const std::string& filePath() const { return filePath_; }
  const std::string& podFileNameText() const { return podFileNameText_; }
  const std::string& statusText() const { return statusText_; }
  bool statusIsError() const { return statusError_; }
  const std::string& statusDetail() const { return statusDetail_; }
  // The operations and the image they hold; null once the window has ended.
  const ProgrammerOperations* Operations() const { return ops_.get(); }
  // What an operation reads from the controls.
  OperationRequest Request() const;

 private:
  DriverSelection MakeDriver(McuType mcuType);
  void ShowSettings();
  // The MCU selection as the operations take it: no selection reads as 255.
  // The device list's choice; one that names no device (none chosen) is
  // the last device, as a stored number past the last one is.
  McuType McuSelection() const { return McuType::Nearest(mcuIndex_); }
  void SetFilePath(const std::string& path);
  // Shows `detail`, what the run said, followed by the loaded program's
  // name and memory digest.
  void SetStatusDetail(std::string detail);
  // One more line of what the run showed beyond the status line.
  void AddDetail(const std::string& line);
  // Passes the bar's position to the view when what it shows has changed.
  void ShowBar();
  // Runs `operation`, the command line's `command`, unless one runs already;
  // meanwhile input is dropped and the window answers the desktop whenever the
  // link waits. With BRONTAFLEX_LOG, the run's line goes to that log after it.
  void RunOperation(std::string_view command, const std::function<OperationOutcome()>& operation);
  // Before a write or verify: the image must be what File Path names, as the
  // file is on disk now; otherwise it is loaded again, with Load's messages.
  // Done, or the outcome of loading it again that failed.
  OperationOutcome ImageIsWhatIsShown();
  // Notes the loaded file as it is on disk, once per load.
  void NoteLoadedFile();
  // After a run: which POD and driver it used, after what it said besides.
  void NotePodUsed();

  DialogView& view_;
  SettingsStore& store_;
  Clock& clock_;
  DriverFactory makeDriver_;
  // Why the driver named in the environment could not be used; empty when it could.
  std::string driverNameError_;
  ProgrammerSettings settings_;
  std::unique_ptr<ProgrammerOperations> ops_;

  int mcuIndex_ = kDefaultMcuType.index();
  bool eraseAll_ = false;
  bool useCsm_ = false;
  CsmKeyTexts keyTexts_;
  std::string filePath_;
  std::string podFileNameText_;
  std::vector<std::string> recentFiles_;
  std::string statusText_;
  bool statusError_ = false;
  // The progress bar as the operations set it. The view hears of it only
  // when what a bar shows changes, a few hundred times in a write of a
  // hundred thousand words, not at every word.
  PercentBar bar_;
  // Its fill and percentage as the view last heard them, as a fresh bar
  // shows them at first; none when the view has a range but no position since.
  std::optional<std::pair<int32_t, int32_t>> barShown_{{0, 0}};
  std::string statusDetail_;
  // What the running operation said beyond the status line: why it failed,
  // what the driver saw, warnings.
  std::string runDetail_;
  // Why the running operation's POD command failed; none when none did.
  FailureCause runCause_;

  struct FileStamp {
    uint32_t loadCount = 0;
    std::string path;
    std::string sha256;
    bool operator==(const FileStamp&) const = default;
  };
  FileStamp loadedFile_;

  bool initialized_ = false;
  bool busy_ = false;
  bool operationRunning_ = false;
  bool ended_ = false;
};
