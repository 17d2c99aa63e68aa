#include "app/CProgrammerDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <utility>

#include "app/CAboutBox.h"
#include "image/McuCatalogue.h"
#include "resources/ResourceIds.h"
#include "resources/Strings.h"
#include "widgets/CMessageLabel.h"
#include "widgets/COXBitmapButton.h"
#include "widgets/CPercentProgressBar.h"

namespace {

constexpr const char* kTitle = "TMS320F280x DSP Programmer Ver1.1 - Veskora";

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

}  // namespace

CProgrammerDlg::CProgrammerDlg(QWidget* parent)
    : TemplateDialog(kMainDialogTemplate, parent),
      messageLabel_(Control<CMessageLabel>(IDC_MESSAGE)),
      progressBar_(Control<CPercentProgressBar>(IDC_PROGRESS)) {
  setWindowTitle(QString::fromLatin1(kTitle));
  InitControls();
  connect(Control<QCheckBox>(IDC_CSM_OPTION), &QCheckBox::toggled, this,
          &CProgrammerDlg::OnCsmOption);
  connect(Control<COXBitmapButton>(IDC_EXIT), &QPushButton::clicked, this, &CProgrammerDlg::OnExit);
}

void CProgrammerDlg::InitControls() {
  Control<QComboBox>(IDC_MCU_TYPE)->setCurrentIndex(kDefaultMcuType);
  Control<QRadioButton>(IDC_INTELLIGENT_ERASE)->setChecked(true);

  messageLabel_->SetLabelTextColor(kBlack, true);
  messageLabel_->SetLabelBkColor(kGreen, true);
  messageLabel_->FitLabelToText(true);

  progressBar_->SetBarRange(0, 100);
  progressBar_->SetBarPos(0);

  for (const auto& [id, bitmap] : kButtonBitmaps) {
    Control<COXBitmapButton>(id)->SetButtonBitmap(bitmap, false, kWhite);
  }

  for (int k = 0; k < 8; ++k) {
    Control<QLabel>(IDC_KEY_LABEL0 + k)
        ->setText(QString::asprintf("KEY%d (0x%06X)", k, kCsmKeyAddress + k));
  }
  ShowCsmKeys(kErasedCsmKeys);
  OnCsmOption();
}

void CProgrammerDlg::ShowCsmKeys(const CsmKeys& keys) {
  for (int k = 0; k < 8; ++k) {
    Control<QLineEdit>(IDC_KEY0 + k)->setText(QString::asprintf("%04X", keys[k]));
  }
}

void CProgrammerDlg::ShowStatus(const std::string& text, bool error) {
  messageLabel_->SetLabelTextColor(error ? kRed : kBlack, true);
  messageLabel_->SetLabelText(QString::fromStdString(text));
  // Painted now, not when the event loop next runs: the operation that
  // reports is still running on this thread.
  messageLabel_->repaint();
  LetWindowAnswer();
}

void CProgrammerDlg::SetBarRange(int32_t lower, int32_t upper) {
  progressBar_->SetBarRange(lower, upper);
}

void CProgrammerDlg::SetBarStep(int32_t step) {
  progressBar_->SetBarStep(step);
}

int32_t CProgrammerDlg::SetBarPos(int32_t position) {
  const int32_t previous = progressBar_->SetBarPos(position);
  LetWindowAnswer();
  return previous;
}

int32_t CProgrammerDlg::StepBar() {
  const int32_t previous = progressBar_->StepBar();
  LetWindowAnswer();
  return previous;
}

void CProgrammerDlg::LetWindowAnswer() {
  if (busy_)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CProgrammerDlg::SetBusy(bool busy) {
  busy_ = busy;
  for (int id : kBusyOrder) Control<COXBitmapButton>(id)->EnableButton(!busy);
}

void CProgrammerDlg::OnCsmOption() {
  const bool useCsm = Control<QCheckBox>(IDC_CSM_OPTION)->isChecked();
  for (int k = 0; k < 8; ++k) Control<QLineEdit>(IDC_KEY0 + k)->setEnabled(useCsm);
}

void CProgrammerDlg::OnExit() {
  if (busy_)
    return;
  accept();
}

void CProgrammerDlg::reject() {
  OnExit();
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
  QMenu menu(this);
  menu.addAction(QString::fromUtf8(kAboutBoxMenuText.data(), kAboutBoxMenuText.size()))
      ->setData(kAboutCommand);
  if (const QAction* chosen = menu.exec(event->globalPos()))
    OnSysCommand(chosen->data().toInt());
}
