#include "app/CProgrammerDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "app/CAboutBox.h"
#include "ops/DriverSelection.h"
#include "image/McuCatalogue.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"
#include "resources/Strings.h"
#include "resources/Version.h"
#include "widgets/CMessageLabel.h"
#include "widgets/COXBitmapButton.h"
#include "widgets/CPercentProgressBar.h"

namespace {

constexpr const char* kTitle = "TMS320F280x DSP Programmer Ver" BRONTAFLEX_VERSION " - Veskora";

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kWhite(255, 255, 255);

// The operation buttons in the order SetBusy switches them.
constexpr std::array kBusyOrder{IDC_LOAD,      IDC_TARGET_RESET, IDC_POD_INFO,    IDC_EXIT,
                                IDC_POD_WRITE, IDC_POD_VERIFY,   IDC_TARGET_WRITE};

// Each operation button and its picture.
constexpr std::array<std::pair<int, int>, 7> kButtonBitmaps{{
    {IDC_LOAD, kBitmapLoad},
    {IDC_TARGET_RESET, kBitmapTargetReset},
    {IDC_POD_WRITE, kBitmapPodWrite},
    {IDC_POD_VERIFY, kBitmapPodVerify},
    {IDC_TARGET_WRITE, kBitmapTargetWrite},
    {IDC_POD_INFO, kBitmapPodInfo},
    {IDC_EXIT, kBitmapExit},
}};

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CProgrammerDlg::CProgrammerDlg(WindowOptions options, QWidget* parent)
    : TemplateDialog(kMainDialogTemplate, parent),
      options_(std::move(options)),
      messageLabel_(Control<CMessageLabel>(IDC_MESSAGE)),
      progressBar_(Control<CPercentProgressBar>(IDC_PROGRESS)) {
  StartWindow();
  ConnectHandlers();
}

CProgrammerDlg::~CProgrammerDlg() {
  EndWindow();
}

void CProgrammerDlg::StartWindow() {
  // The About entry has no window menu to go into: the context menu and F1
  // offer it (contextMenuEvent, keyPressEvent).
  setWindowIcon(ProgramIcon());
  setWindowTitle(QString::fromLatin1(kTitle));

  {
    QSettings store;
    settings_ = LoadSettings(store);
  }
  const uint8_t mcuType = std::min<uint8_t>(settings_.mcuType, kMcuTypeCount - 1);
  // A fresh set of operations holds an empty image.
  ops_ = std::make_unique<ProgrammerOperations>(MakeDriver(mcuType), clock_, *this);
  // The window takes the first POD unless one is named; it never refuses to choose.
  ops_->ChoosePod(PodSerialNumberFromEnvironment(), false);
  ops_->SetPodFileName(settings_.podFileName.toStdString());
  ops_->SetIdleHook([this] { LetWindowAnswer(); });

  Control<QComboBox>(IDC_MCU_TYPE)->setCurrentIndex(mcuType);

  recentFiles_ = settings_.recentFiles;
  if (!recentFiles_.isEmpty()) {
    FilePath()->addItems(recentFiles_);
    FilePath()->setCurrentIndex(0);
  }

  messageLabel_->SetLabelTextColor(kBlack, true);
  messageLabel_->SetLabelBkColor(kGreen, true);
  messageLabel_->FitLabelToText(true);

  progressBar_->SetBarRange(0, 100);
  progressBar_->SetBarPos(0);

  for (const auto& [id, bitmap] : kButtonBitmaps) {
    Control<COXBitmapButton>(id)->SetButtonBitmap(bitmap, false, kWhite);
  }

  // The port is opened only by the operations; here the POD is only looked for.
  if (ops_->LoadDriver()) {
    ops_->FindPod();
  }
  if (!driverNameError_.empty()) {
    ShowStatus(driverNameError_, true);
  }

  Control<QRadioButton>(settings_.eraseAll ? IDC_ERASE_ALL : IDC_INTELLIGENT_ERASE)
      ->setChecked(true);
  Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(settings_.useCsm);
  for (int k = 0; k < 8; ++k) {
    Control<QLabel>(IDC_KEY_LABEL0 + k)
        ->setText(QString::asprintf("KEY%d (0x%06X)", k, kCsmKeyAddress + k));
  }
  ShowCsmKeys(settings_.keys);
  OnCsmOption();
  Control<QLineEdit>(IDC_POD_FILE_NAME)->setText(settings_.podFileName);

  // Loaded where it stands in the list: opening the program is no new use of it.
  if (!recentFiles_.isEmpty()) {
    ops_->LoadCoffFile(recentFiles_.front().toStdString(), false, McuSelection());
  }
  initialized_ = true;
}

void CProgrammerDlg::EndWindow() {
  if (!ops_) {
    return;
  }
  ops_->CloseLink();
  ops_->UnloadDriver();
  // The name the last POD Write used, not what the edit holds now.
  settings_.podFileName = QString::fromStdString(ops_->podFileName());
  ops_.reset();

  settings_.mcuType = McuSelection();
  settings_.eraseAll = Control<QRadioButton>(IDC_ERASE_ALL)->isChecked();
  settings_.useCsm = Control<QCheckBox>(IDC_CSM_OPTION)->isChecked();
  settings_.keys = KeysToSave(settings_.useCsm, KeyTexts());
  settings_.recentFiles = recentFiles_;
  if (!options_.readOnlySettings) {
    QSettings store;
    SaveSettings(store, settings_);
  }
  recentFiles_.clear();
}

void CProgrammerDlg::ConnectHandlers() {
  connect(Control<QCheckBox>(IDC_CSM_OPTION), &QCheckBox::toggled, this,
          &CProgrammerDlg::OnCsmOption);
  connect(FilePath(), &QComboBox::activated, this, &CProgrammerDlg::OnSelchangeFilePath);
  connect(Control<QPushButton>(IDC_BROWSE), &QPushButton::clicked, this, &CProgrammerDlg::OnBrowse);
  const std::pair<int, void (CProgrammerDlg::*)()> buttons[] = {
      {IDC_LOAD, &CProgrammerDlg::OnLoad},
      {IDC_TARGET_WRITE, &CProgrammerDlg::OnTargetWrite},
      {IDC_TARGET_RESET, &CProgrammerDlg::OnTargetReset},
      {IDC_POD_WRITE, &CProgrammerDlg::OnPodWrite},
      {IDC_POD_VERIFY, &CProgrammerDlg::OnPodVerify},
      {IDC_POD_INFO, &CProgrammerDlg::OnPodInfo},
      {IDC_EXIT, &CProgrammerDlg::OnExit},
  };
  for (const auto& [id, handler] : buttons) {
    connect(Control<COXBitmapButton>(id), &QPushButton::clicked, this, handler);
  }
}

std::unique_ptr<FtdiDriver> CProgrammerDlg::MakeDriver(uint8_t mcuType) {
  if (options_.makeDriver) {
    return options_.makeDriver(clock_, mcuType);
  }
  DriverSelection selection = Traced(
      SelectDriver(DriverNameFromEnvironment(), clock_, EmulatorSetupFromEnvironment(mcuType)),
      TracePathFromEnvironment());
  if (!selection.driver) {
    // Said on the error stream and, once the window is up, on its status line,
    // so that a mistyped name is never mistaken for the chosen driver.
    driverNameError_ = selection.error + "; using the default driver";
    std::fprintf(stderr, "brontaflex: %s\n", driverNameError_.c_str());
    selection = SelectDriver({}, clock_);
  }
  return std::move(selection.driver);
}

QComboBox* CProgrammerDlg::FilePath() const {
  return Control<QComboBox>(IDC_FILE_PATH);
}

uint8_t CProgrammerDlg::McuSelection() const {
  return static_cast<uint8_t>(Control<QComboBox>(IDC_MCU_TYPE)->currentIndex());
}

CsmKeyTexts CProgrammerDlg::KeyTexts() const {
  CsmKeyTexts texts;
  for (int k = 0; k < 8; ++k) {
    texts[k] = Control<QLineEdit>(IDC_KEY0 + k)->text().toStdString();
  }
  return texts;
}

OperationRequest CProgrammerDlg::GatherRequest() const {
  OperationRequest request;
  request.filePath = FilePath()->currentText().toStdString();
  request.mcuType = McuSelection();
  request.eraseAll = Control<QRadioButton>(IDC_ERASE_ALL)->isChecked();
  request.useCsm = Control<QCheckBox>(IDC_CSM_OPTION)->isChecked();
  request.keyTexts = KeyTexts();
  request.podFileName = Control<QLineEdit>(IDC_POD_FILE_NAME)->text().toStdString();
  return request;
}

void CProgrammerDlg::ShowCsmKeys(const CsmKeys& keys) {
  for (int k = 0; k < 8; ++k) {
    Control<QLineEdit>(IDC_KEY0 + k)->setText(QString::asprintf("%04X", keys[k]));
  }
}

void CProgrammerDlg::ShowStatus(const std::string& text, bool error) {
  const QColor color = error ? kRed : kBlack;
  const QString label = QString::fromStdString(text);
  // A procedure names its step again for every chunk it writes; painting the
  // same line again would only cost the write its time.
  if (label == messageLabel_->LabelText() && color == messageLabel_->LabelTextColor()) {
    return;
  }
  messageLabel_->SetLabelTextColor(color, true);
  messageLabel_->SetLabelText(label);
  // Painted now, not when the event loop next runs: the operation that
  // reports is still running on this thread.
  messageLabel_->repaint();
}

void CProgrammerDlg::SetBarRange(int32_t lower, int32_t upper) {
  progressBar_->SetBarRange(lower, upper);
}

void CProgrammerDlg::SetBarStep(int32_t step) {
  progressBar_->SetBarStep(step);
}

// The bar repaints itself at once when its width changes; the events wait for
// the link's next idle turn, so a step costs no more than it does on a terminal.
int32_t CProgrammerDlg::SetBarPos(int32_t position) {
  return progressBar_->SetBarPos(position);
}

int32_t CProgrammerDlg::StepBar() {
  return progressBar_->StepBar();
}

void CProgrammerDlg::RunOperation(const std::function<void()>& operation) {
  if (!ops_ || operationRunning_) {
    return;
  }
  operationRunning_ = true;
  qApp->installEventFilter(&inputFilter_);
  operation();
  // What arrived since the last turn is dropped too, not left to act on the
  // window the operation hands back.
  QCoreApplication::processEvents();
  qApp->removeEventFilter(&inputFilter_);
  operationRunning_ = false;
}

void CProgrammerDlg::LetWindowAnswer() {
  if (operationRunning_) {
    // All events: input held back here would be delivered, and act, once the
    // operation ends; the filter drops it instead.
    QCoreApplication::processEvents();
  }
}

void CProgrammerDlg::SetBusy(bool busy) {
  if (!busy && busy_) {
    QApplication::restoreOverrideCursor();
  }
  for (int id : kBusyOrder) {
    Control<COXBitmapButton>(id)->EnableButton(!busy);
  }
  if (busy && !busy_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  busy_ = busy;
}

void CProgrammerDlg::AddRecentFile(const std::string& text) {
  const QString path = QString::fromStdString(text);
  QComboBox* combo = FilePath();
  if (recentFiles_.isEmpty()) {
    // The list gets its first entry; what the edit shows stays as it was.
    const QString shown = combo->currentText();
    recentFiles_.append(path);
    combo->addItem(path);
    combo->setEditText(shown);
    return;
  }
  const qsizetype at = recentFiles_.indexOf(path);  // exact, case-sensitive
  if (at > 0) {
    recentFiles_.removeAt(at);
    combo->removeItem(static_cast<int>(at));
  } else if (at < 0 && recentFiles_.size() >= kMaxRecentFiles) {
    recentFiles_.removeAt(kMaxRecentFiles - 1);
    combo->removeItem(kMaxRecentFiles - 1);
  }
  if (at != 0) {
    recentFiles_.prepend(path);
    combo->insertItem(0, path);
  }
  combo->setCurrentIndex(0);
}

void CProgrammerDlg::ShowPodFileName(const std::string& name) {
  Control<QLineEdit>(IDC_POD_FILE_NAME)->setText(QString::fromStdString(name));
}

void CProgrammerDlg::ShowAllocationFailure(const std::string& text) {
  QMessageBox::critical(this, windowTitle(), QString::fromStdString(text));
}

void CProgrammerDlg::OnCsmOption() {
  const bool useCsm = Control<QCheckBox>(IDC_CSM_OPTION)->isChecked();
  for (int k = 0; k < 8; ++k) {
    Control<QLineEdit>(IDC_KEY0 + k)->setEnabled(useCsm);
  }
}

void CProgrammerDlg::OnLoad() {
  if (ops_) {
    ops_->Load(FilePath()->currentText().toStdString(), McuSelection());
  }
}

void CProgrammerDlg::OnBrowse() {
  if (!ops_) {
    return;
  }
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("BrowseDialog"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  // The reader tells the formats apart by content; the second filter offers
  // the hex utility's output beside the linker's.
  dialog.setNameFilters({QStringLiteral("COFF Files (.out) (*.out)"),
                         QStringLiteral("C28x programs (*.out *.hex *.txt)")});
  // Shows the filters without the patterns repeated: "COFF Files (.out)".
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (!settings_.fileDirectory.isEmpty()) {
    dialog.setDirectory(settings_.fileDirectory);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return;
  }
  const QString filePath = dialog.selectedFiles().front();
  settings_.fileDirectory = filePath.left(filePath.size() - QFileInfo(filePath).fileName().size());
  if (!options_.readOnlySettings) {
    QSettings store;
    SaveFileDirectory(store, settings_.fileDirectory);
  }
  FilePath()->setEditText(filePath);
  ops_->LoadCoffFile(filePath.toStdString(), true, McuSelection());
}

void CProgrammerDlg::OnSelchangeFilePath(int index) {
  if (!initialized_ || !ops_ || index < 0 || index >= recentFiles_.size()) {
    return;
  }
  const QString path = recentFiles_[index].trimmed();
  if (!path.isEmpty()) {
    ops_->LoadCoffFile(path.toStdString(), true, McuSelection());
  }
}

void CProgrammerDlg::OnTargetWrite() {
  RunOperation([this] { ops_->TargetWrite(GatherRequest()); });
}

void CProgrammerDlg::OnTargetReset() {
  RunOperation([this] { ops_->TargetReset(); });
}

void CProgrammerDlg::OnPodWrite() {
  RunOperation([this] { ops_->PodWrite(GatherRequest()); });
}

void CProgrammerDlg::OnPodVerify() {
  RunOperation([this] { ops_->PodVerify(GatherRequest()); });
}

void CProgrammerDlg::OnPodInfo() {
  RunOperation([this] { ops_->PodInfo(); });
}

void CProgrammerDlg::OnExit() {
  if (operationRunning_ || busy_) {
    return;
  }
  accept();
}

void CProgrammerDlg::reject() {
  OnExit();
}

void CProgrammerDlg::done(int result) {
  EndWindow();
  TemplateDialog::done(result);
}

void CProgrammerDlg::OnSysCommand(int command) {
  if (command >= kAboutCommand && command <= 31) {
    CAboutBox about(this);
    about.exec();
  }
}

void CProgrammerDlg::keyPressEvent(QKeyEvent* event) {
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // Enter presses the push button that has the focus; anywhere else it ends
    // the window.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      OnExit();
    }
  } else if (plain && event->key() == Qt::Key_F1) {
    OnSysCommand(kAboutCommand);
  } else {
    QDialog::keyPressEvent(event);
  }
}

void CProgrammerDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Stands in for the window menu, which the frame does not show.
  const QString aboutText = FromUtf8(ResourceString(kStringAboutBox));
  if (aboutText.isEmpty()) {
    return;
  }
  QMenu menu(this);
  menu.addAction(aboutText)->setData(kAboutCommand);
  if (const QAction* chosen = menu.exec(event->globalPos())) {
    OnSysCommand(chosen->data().toInt());
  }
}
