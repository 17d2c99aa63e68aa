#include "app/CProgrammerDlg.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <array>
#include <utility>

#include "app/CAboutBox.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"
#include "resources/Strings.h"
#include "widgets/CMessageLabel.h"
#include "widgets/COXBitmapButton.h"
#include "widgets/CPercentProgressBar.h"

namespace {

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kWhite(255, 255, 255);

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CProgrammerDlg::CProgrammerDlg(WindowOptions options, QWidget* parent)
    : TemplateDialog(kMainDialogTemplate, parent),
      options_(std::move(options)),
      store_(options_.readOnlySettings),
      messageLabel_(Control<CMessageLabel>(IDC_MESSAGE)),
      progressBar_(Control<CPercentProgressBar>(IDC_PROGRESS)),
      model_(*this, store_, clock_, options_.makeDriver) {
  SetUpControls();
  model_.Start();
  ConnectHandlers();
}

CProgrammerDlg::~CProgrammerDlg() {
  model_.End();
}

void CProgrammerDlg::SetUpControls() {
  // The About entry has no window menu to go into: the context menu and F1
  // offer it (contextMenuEvent, keyPressEvent).
  setWindowIcon(ProgramIcon());
  setWindowTitle(QString::fromStdString(DialogTitle()));
  messageLabel_->SetLabelTextColor(kBlack, true);
  messageLabel_->SetLabelBkColor(kGreen, true);
  messageLabel_->FitLabelToText(true);
  for (const DialogButtonControl& button : kDialogButtons) {
    Control<COXBitmapButton>(button.id)->SetButtonBitmap(button.bitmap, false, kWhite);
  }
  // A screen reader names each edit by the caption beside it.
  FilePath()->setAccessibleName(QStringLiteral("File Path"));
  Control<QLineEdit>(IDC_POD_FILE_NAME)->setAccessibleName(QStringLiteral("POD File Name"));
}

void CProgrammerDlg::ConnectHandlers() {
  DialogModel& model = model_;
  connect(Control<QComboBox>(IDC_MCU_TYPE), &QComboBox::currentIndexChanged, this,
          [&model](int index) { model.OnMcuSelected(index); });
  connect(Control<QRadioButton>(IDC_ERASE_ALL), &QRadioButton::toggled, this,
          [&model](bool checked) { model.OnEraseAllChosen(checked); });
  connect(Control<QCheckBox>(IDC_CSM_OPTION), &QCheckBox::toggled, this,
          [&model](bool checked) { model.OnCsmOption(checked); });
  for (int k = 0; k < 8; ++k) {
    connect(Control<QLineEdit>(IDC_KEY0 + k), &QLineEdit::textChanged, this,
            [&model, k](const QString& text) { model.OnKeyEdited(k, text.toStdString()); });
  }
  connect(FilePath(), &QComboBox::editTextChanged, this,
          [&model](const QString& text) { model.OnFilePathEdited(text.toStdString()); });
  connect(FilePath(), &QComboBox::activated, this,
          [&model](int index) { model.OnRecentFileChosen(index); });
  connect(Control<QLineEdit>(IDC_POD_FILE_NAME), &QLineEdit::textChanged, this,
          [&model](const QString& text) { model.OnPodFileNameEdited(text.toStdString()); });
  connect(Control<QPushButton>(IDC_BROWSE), &QPushButton::clicked, this,
          [&model] { model.OnBrowse(); });
  const std::pair<int, void (DialogModel::*)()> buttons[] = {
      {IDC_LOAD, &DialogModel::OnLoad},
      {IDC_TARGET_WRITE, &DialogModel::OnTargetWrite},
      {IDC_TARGET_RESET, &DialogModel::OnTargetReset},
      {IDC_POD_WRITE, &DialogModel::OnPodWrite},
      {IDC_POD_VERIFY, &DialogModel::OnPodVerify},
      {IDC_POD_INFO, &DialogModel::OnPodInfo},
      {IDC_EXIT, &DialogModel::OnExit},
  };
  for (const auto& [id, handler] : buttons) {
    connect(Control<COXBitmapButton>(id), &QPushButton::clicked, this,
            [&model, handler] { (model.*handler)(); });
  }
}

QComboBox* CProgrammerDlg::FilePath() const {
  return Control<QComboBox>(IDC_FILE_PATH);
}

QStringList CProgrammerDlg::RecentFiles() const {
  QStringList files;
  for (const std::string& file : model_.recentFiles()) {
    files.append(QString::fromStdString(file));
  }
  return files;
}

void CProgrammerDlg::ShowStatus(const std::string& text, bool error) {
  messageLabel_->SetLabelTextColor(error ? kRed : kBlack, true);
  messageLabel_->SetLabelText(QString::fromStdString(text));
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

void CProgrammerDlg::EnableButton(DialogButton button, bool enabled) {
  for (const DialogButtonControl& control : kDialogButtons) {
    if (control.button == button) {
      Control<COXBitmapButton>(control.id)->EnableButton(enabled);
    }
  }
}

void CProgrammerDlg::ShowWaitCursor(bool wait) {
  if (wait && !waitCursor_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (!wait && waitCursor_) {
    QApplication::restoreOverrideCursor();
  }
  waitCursor_ = wait;
}

void CProgrammerDlg::ShowMcuType(int index) {
  const QSignalBlocker quiet(Control<QComboBox>(IDC_MCU_TYPE));
  Control<QComboBox>(IDC_MCU_TYPE)->setCurrentIndex(index);
}

void CProgrammerDlg::ShowEraseAll(bool eraseAll) {
  const QSignalBlocker quiet(Control<QRadioButton>(IDC_ERASE_ALL));
  Control<QRadioButton>(eraseAll ? IDC_ERASE_ALL : IDC_INTELLIGENT_ERASE)->setChecked(true);
}

void CProgrammerDlg::ShowCsmOption(bool useCsm) {
  const QSignalBlocker quiet(Control<QCheckBox>(IDC_CSM_OPTION));
  Control<QCheckBox>(IDC_CSM_OPTION)->setChecked(useCsm);
}

void CProgrammerDlg::ShowKeyCaption(int k, const std::string& caption) {
  Control<QLabel>(IDC_KEY_LABEL0 + k)->setText(QString::fromStdString(caption));
  Control<QLineEdit>(IDC_KEY0 + k)->setAccessibleName(QString::fromStdString(caption));
}

void CProgrammerDlg::ShowKeyText(int k, const std::string& text) {
  const QSignalBlocker quiet(Control<QLineEdit>(IDC_KEY0 + k));
  Control<QLineEdit>(IDC_KEY0 + k)->setText(QString::fromStdString(text));
}

void CProgrammerDlg::EnableKeyEdits(bool enabled) {
  for (int k = 0; k < 8; ++k) {
    Control<QLineEdit>(IDC_KEY0 + k)->setEnabled(enabled);
  }
}

void CProgrammerDlg::ShowRecentFiles(const std::vector<std::string>& files) {
  QComboBox* combo = FilePath();
  const QSignalBlocker quiet(combo);
  const QString shown = combo->currentText();
  combo->clear();
  for (const std::string& file : files) {
    combo->addItem(QString::fromStdString(file));
  }
  combo->setEditText(shown);
}

void CProgrammerDlg::ShowFilePath(const std::string& path) {
  QComboBox* combo = FilePath();
  const QSignalBlocker quiet(combo);
  const QString text = QString::fromStdString(path);
  // The entry that holds the path is the current one, as a choice from the
  // list leaves it.
  combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
  combo->setEditText(text);
}

void CProgrammerDlg::ShowPodFileName(const std::string& name) {
  const QSignalBlocker quiet(Control<QLineEdit>(IDC_POD_FILE_NAME));
  Control<QLineEdit>(IDC_POD_FILE_NAME)->setText(QString::fromStdString(name));
}

void CProgrammerDlg::ShowStatusDetail(const std::string& detail) {
  const QString text = QString::fromStdString(detail);
  messageLabel_->setToolTip(text);
  messageLabel_->setAccessibleDescription(text);
}

void CProgrammerDlg::ShowAllocationFailure(const std::string& text) {
  QMessageBox::critical(this, windowTitle(), QString::fromStdString(text));
}

void CProgrammerDlg::ShowAboutBox() {
  CAboutBox about(this);
  about.exec();
}

std::optional<std::string> CProgrammerDlg::AskForProgramFile(const std::string& folder) {
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("BrowseDialog"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  // The reader tells the formats apart by content; the second filter offers
  // the hex utility's output beside the linker's.
  dialog.setNameFilters({QStringLiteral("COFF Files (.out) (*.out)"),
                         QStringLiteral("C28x programs (*.out *.hex *.txt)")});
  // Shows the filters without the patterns repeated: "COFF Files (.out)".
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (!folder.empty()) {
    dialog.setDirectory(QString::fromStdString(folder));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog.selectedFiles().front().toStdString();
}

void CProgrammerDlg::HoldInput(bool held) {
  if (held) {
    qApp->installEventFilter(&inputFilter_);
    return;
  }
  // What arrived since the last turn is dropped too, not left to act on the
  // window the operation hands back.
  QCoreApplication::processEvents();
  qApp->removeEventFilter(&inputFilter_);
}

void CProgrammerDlg::AnswerDesktop() {
  // All events: input held back here would be delivered, and act, once the
  // operation ends; the filter drops it instead.
  QCoreApplication::processEvents();
}

void CProgrammerDlg::CloseWindow() {
  accept();
}

void CProgrammerDlg::done(int result) {
  model_.End();
  TemplateDialog::done(result);
}

void CProgrammerDlg::keyPressEvent(QKeyEvent* event) {
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // Enter presses the push button that has the focus.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      model_.OnEnter();
    }
  } else if (plain && event->key() == Qt::Key_F1) {
    model_.OnSysCommand(kAboutCommand);
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
    model_.OnSysCommand(chosen->data().toInt());
  }
}
