#include "win32/DialogTemplateBuilder.h"

#include <windows.h>

#include <string>

#include "resources/ResourceIds.h"
#include "win32/WideText.h"

namespace {

// The predefined classes' atoms, as a template names them.
constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;
constexpr uint16_t kComboBoxAtom = 0x0085;

class TemplateWriter {
 public:
  void Word(uint16_t word) { words_.push_back(word); }
  void Dword(uint32_t dword) {
    Word(static_cast<uint16_t>(dword & 0xFFFF));
    Word(static_cast<uint16_t>(dword >> 16));
  }
  void Text(std::string_view utf8) {
    for (wchar_t c : Wide(utf8)) {
      Word(static_cast<uint16_t>(c));
    }
    Word(0);
  }
  void Ordinal(uint16_t ordinal) {
    Word(0xFFFF);
    Word(ordinal);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) {
      Word(0);
    }
  }
  std::vector<uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<uint16_t> words_;
};

struct ItemClass {
  uint16_t atom = 0;  // a predefined class, or 0 for `name`
  const wchar_t* name = nullptr;
  uint32_t style = 0;
};

ItemClass ClassOf(const DialogControl& control) {
  const bool centred = (control.style & kStyleCenterVertically) != 0;
  switch (control.kind) {
    case ControlKind::StaticText:
      return {kStaticAtom, nullptr, SS_LEFT | SS_NOPREFIX | (centred ? SS_CENTERIMAGE : 0u)};
    case ControlKind::GroupBox:
      return {kButtonAtom, nullptr, BS_GROUPBOX};
    case ControlKind::Icon:
      return {kStaticAtom, nullptr, SS_ICON};
    case ControlKind::Edit:
      return {kEditAtom, nullptr,
              WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL |
                  ((control.style & kStyleUpperCase) != 0 ? ES_UPPERCASE : 0u)};
    case ControlKind::DropDownList:
      return {kComboBoxAtom, nullptr, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP};
    case ControlKind::DropDownCombo:
      return {kComboBoxAtom, nullptr, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP};
    case ControlKind::PushButton:
      return {kButtonAtom, nullptr,
              static_cast<uint32_t>(
                  WS_TABSTOP |
                  ((control.style & kStyleDefaultButton) != 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON))};
    case ControlKind::BitmapButton:
      return {kButtonAtom, nullptr, BS_OWNERDRAW | WS_TABSTOP};
    case ControlKind::RadioButton:
      return {kButtonAtom, nullptr, BS_AUTORADIOBUTTON | WS_TABSTOP};
    case ControlKind::CheckBox:
      return {kButtonAtom, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP};
    case ControlKind::StatusLabel:
      return {0, kMessageLabelClass, 0};
    case ControlKind::ProgressBar:
      return {0, kPercentProgressBarClass, 0};
  }
  return {kStaticAtom, nullptr, 0};
}

void WriteItem(TemplateWriter& out, const DialogControl& control, bool startsGroup) {
  const ItemClass itemClass = ClassOf(control);
  out.AlignToDword();
  out.Dword(0);  // help id
  out.Dword(0);  // extended style
  out.Dword(WS_CHILD | WS_VISIBLE | itemClass.style | (startsGroup ? WS_GROUP : 0u));
  out.Word(static_cast<uint16_t>(control.rect.x));
  out.Word(static_cast<uint16_t>(control.rect.y));
  out.Word(static_cast<uint16_t>(control.rect.width));
  out.Word(static_cast<uint16_t>(control.rect.height));
  out.Dword(static_cast<uint32_t>(control.id));
  if (itemClass.atom != 0) {
    out.Ordinal(itemClass.atom);
  } else {
    for (const wchar_t* c = itemClass.name; *c != 0; ++c) {
      out.Word(static_cast<uint16_t>(*c));
    }
    out.Word(0);
  }
  if (control.kind == ControlKind::Icon) {
    out.Ordinal(static_cast<uint16_t>(kIconProgram));
  } else {
    out.Text(control.caption);
  }
  out.Word(0);  // no creation data
}

}  // namespace

std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& dialogTemplate) {
  TemplateWriter out;
  out.Word(1);                 // version
  out.Word(0xFFFF);            // extended template
  out.Dword(0);                // help id
  out.Dword(WS_EX_APPWINDOW);  // shown in the task bar
  out.Dword(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
  out.Word(static_cast<uint16_t>(dialogTemplate.controls.size()));
  out.Word(0);
  out.Word(0);
  out.Word(static_cast<uint16_t>(dialogTemplate.width));
  out.Word(static_cast<uint16_t>(dialogTemplate.height));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(dialogTemplate.title);
  out.Word(static_cast<uint16_t>(dialogTemplate.fontPointSize));
  out.Word(FW_NORMAL);
  out.Word(HANGUL_CHARSET << 8);  // not italic; the Korean character set
  out.Text(dialogTemplate.fontFamily);
  ControlKind previous = ControlKind::StaticText;
  for (const DialogControl& control : dialogTemplate.controls) {
    // Each run of radio buttons is one group, so the arrow keys move within it
    // and an automatic radio button clears only its own kind.
    const bool startsGroup =
        (control.kind == ControlKind::RadioButton) != (previous == ControlKind::RadioButton);
    WriteItem(out, control, startsGroup);
    previous = control.kind;
  }
  return out.Take();
}
