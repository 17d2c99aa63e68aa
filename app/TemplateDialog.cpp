#include "app/TemplateDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>
#include <algorithm>

#include "resources/Resources.h"
#include "widgets/CMessageLabel.h"
#include "widgets/COXBitmapButton.h"
#include "widgets/CPercentProgressBar.h"

namespace {

// Gulim ships with Korean Windows only; NanumGothic has the same Hangul
// coverage and is what the set-up installs elsewhere.
constexpr const char* kHangulFallbackFamily = "NanumGothic";

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Turns letters to upper case as they are typed or pasted.
class UpperCaseValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

QComboBox* CreateComboBox(const DialogControl& control, bool editable, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setEditable(editable);
  if (editable) {
    // A typed text is a path to load, never a new list entry, and is not
    // completed from the list behind the user's back.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
  }
  for (std::string_view item : control.items) combo->addItem(FromUtf8(item));
  return combo;
}

QWidget* CreateWidget(const DialogControl& control, QWidget* parent) {
  const QString caption = FromUtf8(control.caption);
  switch (control.kind) {
    case ControlKind::StaticText: {
      auto* label = new QLabel(caption, parent);
      label->setAlignment(
          Qt::AlignLeft |
          ((control.style & kStyleCenterVertically) ? Qt::AlignVCenter : Qt::AlignTop));
      return label;
    }
    case ControlKind::GroupBox:
      return new QGroupBox(caption, parent);
    case ControlKind::Icon:
      return new QLabel(parent);
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(parent);
      if (control.maxLength > 0)
        edit->setMaxLength(control.maxLength);
      if (control.style & kStyleUpperCase)
        edit->setValidator(new UpperCaseValidator(edit));
      return edit;
    }
    case ControlKind::DropDownList:
      return CreateComboBox(control, false, parent);
    case ControlKind::DropDownCombo:
      return CreateComboBox(control, true, parent);
    case ControlKind::PushButton:
    case ControlKind::BitmapButton: {
      auto* button = control.kind == ControlKind::PushButton ? new QPushButton(parent)
                                                             : new COXBitmapButton(parent);
      button->setText(caption);
      // Only the template names a default button; the toolkit would otherwise
      // pick one of its own for Enter.
      button->setAutoDefault(false);
      button->setDefault(control.style & kStyleDefaultButton);
      return button;
    }
    case ControlKind::RadioButton:
      return new QRadioButton(caption, parent);
    case ControlKind::CheckBox:
      return new QCheckBox(caption, parent);
    case ControlKind::StatusLabel: {
      auto* label = new CMessageLabel(parent);
      label->setText(caption);
      return label;
    }
    case ControlKind::ProgressBar:
      return new CPercentProgressBar(parent);
  }
  return nullptr;
}

}  // namespace

QFont TemplateDialog::TemplateFont(const DialogTemplate& dialogTemplate) {
  QFont font;
  font.setFamilies({FromUtf8(dialogTemplate.fontFamily), QStringLiteral("Gulim"),
                    QString::fromLatin1(kHangulFallbackFamily)});
  font.setPointSize(dialogTemplate.fontPointSize);
  return font;
}

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), units_(TemplateFont(dialogTemplate)) {
  // A caption and a close box; no window menu, no minimize or maximize box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFont(TemplateFont(dialogTemplate));
  setWindowTitle(FromUtf8(dialogTemplate.title));
  setWindowIcon(ProgramIcon());
  setFixedSize(units_.ToPixels(dialogTemplate.width, dialogTemplate.height));
  for (const DialogControl& control : dialogTemplate.controls) {
    QWidget* widget = CreateControl(control);
    if (control.id != IDC_STATIC)
      controls_.insert(control.id, widget);
  }
}

QWidget* TemplateDialog::CreateControl(const DialogControl& control) {
  QWidget* widget = CreateWidget(control, this);
  widget->setProperty("controlId", control.id);
  widget->setObjectName(FromUtf8(control.name));
  QRect rect = units_.ToPixels(control.rect);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    // The template's height covers the dropped list; the closed box is as
    // high as the style makes it, and the list shows as many entries as fit.
    const int closedHeight = combo->sizeHint().height();
    combo->setMaxVisibleItems(std::max(1, (rect.height() - closedHeight) / units_.fontHeight()));
    rect.setHeight(closedHeight);
  } else if (control.kind == ControlKind::Icon) {
    auto* label = static_cast<QLabel*>(widget);
    label->setPixmap(windowIcon().pixmap(rect.size()));
  }
  widget->setGeometry(rect);
  return widget;
}
