#include "dialog/DialogModel.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

#include "image/McuCatalogue.h"
#include "image/Sha256.h"
#include "ops/DriverSelection.h"
#include "ops/FailureText.h"
#include "ops/PortText.h"
#include "ops/RunLog.h"
#include "ops/UserText.h"
#include "pod/PodStore.h"
#include "resources/Version.h"

namespace {

// The push buttons in the order SetBusy switches them.
constexpr std::array kBusyOrder{
    DialogButton::Load,     DialogButton::TargetReset, DialogButton::PodInfo,    DialogButton::Exit,
    DialogButton::PodWrite, DialogButton::PodVerify,   DialogButton::TargetWrite};

std::string KeyCaption(int k) {
  char text[32];
  std::snprintf(text, sizeof text, "KEY%d (0x%06X)", k, kCsmKeyAddress + k);
  return text;
}

std::string KeyText(uint16_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", word);
  return text;
}

// The folder part of a chosen file, separator included, as the browse dialog
// is opened in next time.
std::string FolderOf(const std::string& file) {
  const size_t separator = file.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : file.substr(0, separator + 1);
}

}  // namespace

std::string DialogTitle() {
  return "TMS320F280x DSP Programmer Ver" BRONTAFLEX_VERSION " - Veskora";
}

DialogModel::DialogModel(DialogView& view, SettingsStore& store, Clock& clock,
                         DriverFactory makeDriver)
    : view_(view), store_(store), clock_(clock), makeDriver_(std::move(makeDriver)) {}

DialogModel::~DialogModel() {
  End();
}

DriverSelection DialogModel::MakeDriver(McuType mcuType) {
  if (makeDriver_) {
    return {makeDriver_(clock_, mcuType), {}};
  }
  // The default choice looks for the POD that was asked for, not the first.
  DriverSelection selection =
      Traced(SelectDriver(DriverNameFromEnvironment(), clock_,
                          EmulatorSetupFromEnvironment(mcuType), PodSerialNumberFromEnvironment()),
             TracePathFromEnvironment());
  if (!selection.driver) {
    // Said on the error stream and, once the window is up, on its status line,
    // so that a mistyped name is never mistaken for the chosen driver.
    driverNameError_ = selection.error + "; using the default driver";
    std::fprintf(stderr, "brontaflex: %s\n", driverNameError_.c_str());
    selection = SelectDriver({}, clock_, {}, PodSerialNumberFromEnvironment());
  }
  return selection;
}

void DialogModel::Start() {
  settings_ = LoadSettings(store_);
  const McuType mcuType = settings_.mcuType;
  // A fresh set of operations holds an empty image.
  DriverSelection selection = MakeDriver(mcuType);
  ops_ = std::make_unique<ProgrammerOperations>(std::move(selection.driver), clock_, *this);
  ops_->SetDriverProbes(std::move(selection.probes));
  // Like the command line, the window never picks one of several PODs itself.
  ops_->ChoosePod(PodSerialNumberFromEnvironment(), true);
  ops_->SetPodFileName(settings_.podFileName);
  ops_->SetIdleHook([this] {
    if (operationRunning_) {
      view_.AnswerDesktop();
    }
  });

  mcuIndex_ = mcuType.index();
  view_.ShowMcuType(mcuIndex_);
  recentFiles_ = settings_.recentFiles;
  view_.ShowRecentFiles(recentFiles_);
  if (!recentFiles_.empty()) {
    SetFilePath(recentFiles_.front());
  }
  view_.SetBarRange(0, 100);
  view_.SetBarPos(0);

  // The port is opened only by the operations; here the POD is only looked for.
  if (ops_->LoadDriver()) {
    ops_->FindPod();
  }
  if (!driverNameError_.empty()) {
    ShowStatus(driverNameError_, true);
  }
  ShowSettings();

  // Loaded where it stands in the list: opening the program is no new use of it.
  if (!recentFiles_.empty()) {
    ops_->LoadProgramFile(recentFiles_.front(), false, McuSelection());
    NoteLoadedFile();
  }
  initialized_ = true;
}

void DialogModel::ShowSettings() {
  eraseAll_ = settings_.eraseAll;
  view_.ShowEraseAll(eraseAll_);
  useCsm_ = settings_.useCsm;
  view_.ShowCsmOption(useCsm_);
  for (int k = 0; k < 8; ++k) {
    view_.ShowKeyCaption(k, KeyCaption(k));
    keyTexts_[k] = KeyText(settings_.keys[k]);
    view_.ShowKeyText(k, keyTexts_[k]);
  }
  view_.EnableKeyEdits(useCsm_);
  podFileNameText_ = settings_.podFileName;
  view_.ShowPodFileName(podFileNameText_);
}

void DialogModel::End() {
  if (ended_ || !ops_) {
    return;
  }
  ended_ = true;
  ops_->CloseLink();
  ops_->UnloadDriver();
  // The name the last POD Write used, not what the edit holds now.
  settings_.podFileName = ops_->podFileName();
  ops_.reset();

  settings_.mcuType = McuSelection();
  settings_.eraseAll = eraseAll_;
  settings_.useCsm = useCsm_;
  settings_.keys = KeysToSave(useCsm_, keyTexts_);
  settings_.recentFiles = recentFiles_;
  SaveSettings(store_, settings_);
  recentFiles_.clear();
}

void DialogModel::OnMcuSelected(int index) {
  // Read by the next load and at the end; nothing happens now.
  mcuIndex_ = index;
}

void DialogModel::OnEraseAllChosen(bool eraseAll) {
  eraseAll_ = eraseAll;
}

void DialogModel::OnCsmOption(bool useCsm) {
  // The typed keys stay in their edits either way.
  useCsm_ = useCsm;
  view_.EnableKeyEdits(useCsm_);
}

void DialogModel::OnKeyEdited(int k, const std::string& text) {
  if (k >= 0 && k < static_cast<int>(keyTexts_.size())) {
    keyTexts_[k] = text;
  }
}

void DialogModel::OnFilePathEdited(const std::string& text) {
  filePath_ = text;
}

void DialogModel::OnPodFileNameEdited(const std::string& text) {
  // The POD keeps the name in 8 bytes: what the edit shows is what is stored,
  // never a name cut inside a character.
  podFileNameText_ = CutToBytes(text, PodTag::kNameBytes);
  if (podFileNameText_ != text) {
    view_.ShowPodFileName(podFileNameText_);
  }
}

void DialogModel::SetFilePath(const std::string& path) {
  filePath_ = path;
  view_.ShowFilePath(filePath_);
}

void DialogModel::OnRecentFileChosen(int index) {
  if (!initialized_ || !ops_ || operationRunning_ || index < 0 ||
      index >= static_cast<int>(recentFiles_.size())) {
    return;
  }
  const std::string path = TrimBlanks(recentFiles_[index]);
  if (!path.empty()) {
    SetFilePath(recentFiles_[index]);
    ops_->LoadProgramFile(path, true, McuSelection());
    NoteLoadedFile();
  }
}

void DialogModel::OnLoad() {
  if (ops_ && !operationRunning_) {
    ops_->Load(filePath_, McuSelection());
    NoteLoadedFile();
  }
}

void DialogModel::OnBrowse() {
  if (!ops_ || operationRunning_) {
    return;
  }
  const std::optional<std::string> chosen = view_.AskForProgramFile(settings_.fileDirectory);
  if (!chosen || chosen->empty()) {
    return;
  }
  settings_.fileDirectory = FolderOf(*chosen);
  SaveFileDirectory(store_, settings_.fileDirectory);
  SetFilePath(*chosen);
  ops_->LoadProgramFile(*chosen, true, McuSelection());
  NoteLoadedFile();
}

OperationRequest DialogModel::Request() const {
  OperationRequest request;
  request.filePath = filePath_;
  request.mcuType = McuSelection();
  request.eraseAll = eraseAll_;
  request.useCsm = useCsm_;
  request.keyTexts = keyTexts_;
  request.podFileName = podFileNameText_;
  return request;
}

void DialogModel::RunOperation(std::string_view command,
                               const std::function<OperationOutcome()>& operation) {
  if (!ops_ || operationRunning_) {
    return;
  }
  // A log that cannot take the run's line refuses the run before the POD is used.
  std::optional<RunLog> log;
  if (const std::string logPath = LogPathFromEnvironment(); !logPath.empty()) {
    log.emplace(logPath);
    if (!log->open()) {
      ShowStatus(log->error(), true);
      return;
    }
  }
  operationRunning_ = true;
  runDetail_.clear();
  runCause_ = {};
  view_.HoldInput(true);
  const auto start = std::chrono::steady_clock::now();
  const OperationOutcome outcome = operation();
  const auto durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  NoteLoadedFile();
  if (log) {
    RunLogEntry entry = OperationLogEntry(std::string(command), outcome, *ops_, statusText_,
                                          runCause_, static_cast<uint64_t>(durationMs.count()));
    if (!entry.fileName.empty()) {
      entry.fileSha256 = loadedFile_.sha256;
    }
    if (const std::string failure = log->Write(entry); !failure.empty()) {
      AddDetail(failure);
    }
  }
  NotePodUsed();
  view_.HoldInput(false);
  operationRunning_ = false;
}

void DialogModel::NoteLoadedFile() {
  if (!ops_ || ops_->loadCount() == loadedFile_.loadCount) {
    return;
  }
  // The digest of the bytes the program was read from, which a later look at
  // the file on disk is held to.
  loadedFile_ = {ops_->loadCount(), ops_->imagePath(),
                 ops_->imageLoaded() ? ops_->fileSha256() : std::string()};
  SetStatusDetail(runDetail_);
}

OperationOutcome DialogModel::ImageIsWhatIsShown() {
  if (!ops_->imageLoaded()) {
    return OperationOutcome::Done;  // the operation loads what File Path names
  }
  const std::string shown = TrimBlanks(filePath_);
  if (shown == loadedFile_.path && FileSha256(shown) == loadedFile_.sha256) {
    return OperationOutcome::Done;
  }
  // Typed over, rebuilt or deleted since it was read: what would be written
  // is no longer what the window names.
  const OperationOutcome loaded = ops_->Load(filePath_, McuSelection());
  NoteLoadedFile();
  return loaded;
}

void DialogModel::NotePodUsed() {
  if (const std::optional<PortDetails> port = ops_ ? ops_->PodPort() : std::nullopt) {
    AddDetail("POD: " + PortLine(*port));
    AddDetail("driver: " + ops_->DriverName());
  }
  SetStatusDetail(runDetail_);
}

void DialogModel::AddDetail(const std::string& line) {
  // Names from a file or a POD are shown so that none of their bytes can act.
  runDetail_ += (runDetail_.empty() ? "" : "\n") + EscapeForDisplay(line);
  SetStatusDetail(runDetail_);
}

void DialogModel::SetStatusDetail(std::string detail) {
  // The program loaded is named last, with what it puts into the target, so
  // that the line can check it against a production order.
  if (ops_ && ops_->imageLoaded()) {
    detail += (detail.empty() ? "" : "\n") + EscapeForDisplay("program: " + ops_->imagePath()) +
              "\nmemory digest: " + ops_->memoryDigest();
  }
  if (detail != statusDetail_) {
    statusDetail_ = std::move(detail);
    view_.ShowStatusDetail(statusDetail_);
  }
}

void DialogModel::OnTargetWrite() {
  RunOperation("target-write", [this] {
    const OperationOutcome shown = ImageIsWhatIsShown();
    return shown == OperationOutcome::Done ? ops_->TargetWrite(Request()) : shown;
  });
}

void DialogModel::OnTargetReset() {
  RunOperation("target-reset", [this] { return ops_->TargetReset(); });
}

void DialogModel::OnPodWrite() {
  RunOperation("pod-write", [this] {
    const OperationOutcome shown = ImageIsWhatIsShown();
    return shown == OperationOutcome::Done ? ops_->PodWrite(Request()) : shown;
  });
}

void DialogModel::OnPodVerify() {
  RunOperation("pod-verify", [this] {
    const OperationOutcome shown = ImageIsWhatIsShown();
    return shown == OperationOutcome::Done ? ops_->PodVerify(Request()) : shown;
  });
}

void DialogModel::OnPodInfo() {
  RunOperation("pod-info", [this] { return ops_->PodInfo(); });
}

void DialogModel::OnExit() {
  // The window never goes away under a running operation.
  if (operationRunning_ || busy_ || ended_) {
    return;
  }
  view_.CloseWindow();
}

void DialogModel::OnSysCommand(int command) {
  if (!operationRunning_ && command >= kAboutCommand && command <= 31) {
    view_.ShowAboutBox();
  }
}

void DialogModel::ShowStatus(const std::string& text, bool error) {
  // A procedure names its step again for every chunk it writes; painting the
  // same line again would only cost the write its time.
  if (text == statusText_ && error == statusError_) {
    return;
  }
  statusText_ = text;
  statusError_ = error;
  view_.ShowStatus(text, error);
}

void DialogModel::SetBarRange(int32_t lower, int32_t upper) {
  bar_.SetRange(lower, upper);
  view_.SetBarRange(lower, upper);
  barShown_.reset();
}

void DialogModel::SetBarStep(int32_t step) {
  bar_.SetStep(step);
}

int32_t DialogModel::SetBarPos(int32_t position) {
  const int32_t previous = bar_.SetPos(position);
  ShowBar();
  return previous;
}

int32_t DialogModel::StepBar() {
  const int32_t previous = bar_.Step();
  ShowBar();
  return previous;
}

void DialogModel::ShowBar() {
  // As fine as the windows draw their bars, about 500 pixels wide: no pixel
  // and no percentage is left out.
  constexpr int kFinestFill = 512;
  const std::pair shown{bar_.BarWidth(kFinestFill), bar_.Percent()};
  if (shown != barShown_) {
    barShown_ = shown;
    view_.SetBarPos(bar_.position());
  }
}

void DialogModel::SetBusy(bool busy) {
  if (!busy && busy_) {
    view_.ShowWaitCursor(false);
  }
  for (DialogButton button : kBusyOrder) {
    view_.EnableButton(button, !busy);
  }
  if (busy && !busy_) {
    view_.ShowWaitCursor(true);
  }
  busy_ = busy;
}

void DialogModel::AddRecentFile(const std::string& path) {
  if (recentFiles_.empty()) {
    // The list gets its first entry; what the edit shows stays as it was.
    recentFiles_.push_back(path);
    view_.ShowRecentFiles(recentFiles_);
    view_.ShowFilePath(filePath_);
    return;
  }
  const auto at = std::ranges::find(recentFiles_, path);  // exact, case-sensitive
  if (at != recentFiles_.begin()) {
    if (at != recentFiles_.end()) {
      recentFiles_.erase(at);
    } else if (recentFiles_.size() >= kMaxRecentFiles) {
      recentFiles_.resize(kMaxRecentFiles - 1);
    }
    recentFiles_.insert(recentFiles_.begin(), path);
    view_.ShowRecentFiles(recentFiles_);
  }
  SetFilePath(path);
}

void DialogModel::ShowPodFileName(const std::string& name) {
  podFileNameText_ = name;
  view_.ShowPodFileName(name);
}

void DialogModel::ShowAllocationFailure(const std::string& text) {
  view_.ShowAllocationFailure(text);
}

void DialogModel::ShowFailureCause(const FailureCause& cause) {
  runCause_ = cause;
  AddDetail(DescribeFailure(cause));
}

void DialogModel::ShowWarning(const std::string& text) {
  AddDetail("warning: " + text);
}

void DialogModel::ShowPortsSeen(const std::vector<PortDetails>& ports) {
  for (const std::string& line : PortsSeenLines(ports)) {
    AddDetail(line);
  }
}

void DialogModel::ShowBackendsPassedOver(const std::vector<BackendProbe>& probes) {
  for (const std::string& line : BackendsPassedOverLines(probes)) {
    AddDetail(line);
  }
}

std::string DialogModel::HowToChoosePod() const {
  return "BRONTAFLEX_POD=SERIAL";
}
