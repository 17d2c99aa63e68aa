#include "win32/Win32ProgrammerDlg.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <utility>

#include "resources/DialogTemplates.h"
#include "resources/ResourceIds.h"
#include "resources/Strings.h"
#include "win32/Controls.h"
#include "win32/DialogTemplateBuilder.h"
#include "win32/WideText.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

// What the user does with the keyboard and the mouse, in the client area and
// on the frame: dropped while an operation runs.
bool IsUserInput(const MSG& message) {
  return (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) ||
         (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST &&
          message.message != WM_MOUSEMOVE) ||
         (message.message >= WM_NCLBUTTONDOWN && message.message <= WM_NCXBUTTONDBLCLK);
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetWindowTextW(window, Wide(kAboutBoxTemplate.title).c_str());
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(window, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

Win32ProgrammerDlg::Win32ProgrammerDlg(HINSTANCE instance, SettingsStore& store,
                                       DriverFactory makeDriver)
    : instance_(instance),
      template_(BuildDialogTemplate(kMainDialogTemplate)),
      model_(*this, store, clock_, std::move(makeDriver)) {
  RegisterControlClasses(instance_);
  for (size_t i = 0; i < kDialogButtons.size(); ++i) {
    bitmaps_[i] =
        static_cast<HBITMAP>(LoadImageW(instance_, MAKEINTRESOURCEW(kDialogButtons[i].bitmap),
                                        IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  }
  icon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconProgram), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                        LR_DEFAULTCOLOR));
  smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconProgram), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

Win32ProgrammerDlg::~Win32ProgrammerDlg() {
  if (window_ != nullptr) {
    DestroyWindow(window_);
  }
  model_.End();
  for (HBITMAP bitmap : bitmaps_) {
    if (bitmap != nullptr) {
      DeleteObject(bitmap);
    }
  }
  for (HICON icon : {icon_, smallIcon_}) {
    if (icon != nullptr) {
      DestroyIcon(icon);
    }
  }
}

void Win32ProgrammerDlg::RunModal() {
  modal_ = true;
  DialogBoxIndirectParamW(instance_, reinterpret_cast<LPCDLGTEMPLATEW>(template_.data()), nullptr,
                          DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND Win32ProgrammerDlg::Open() {
  modal_ = false;
  CreateDialogIndirectParamW(instance_, reinterpret_cast<LPCDLGTEMPLATEW>(template_.data()),
                             nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
  return window_;
}

INT_PTR CALLBACK Win32ProgrammerDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dlg = reinterpret_cast<Win32ProgrammerDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    dlg->window_ = window;
  }
  auto* dlg = reinterpret_cast<Win32ProgrammerDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  return dlg != nullptr ? dlg->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR Win32ProgrammerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      for (size_t i = 0; i < kDialogButtons.size(); ++i) {
        if (static_cast<int>(item.CtlID) == kDialogButtons[i].id) {
          DrawBitmapButton(item, bitmaps_[i]);
          return TRUE;
        }
      }
      return FALSE;
    }
    case WM_CONTEXTMENU:
      OnContextMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return TRUE;
    case WM_HELP:  // F1
      model_.OnSysCommand(DialogModel::kAboutCommand);
      return TRUE;
    case WM_SETCURSOR:
      if (waitCursor_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      model_.OnExit();
      return TRUE;
    case WM_DESTROY:
      // However the window ends, the model ends with it: link, driver and
      // image released, the settings saved.
      model_.End();
      return TRUE;
    case WM_NCDESTROY:
      window_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void Win32ProgrammerDlg::OnInitDialog() {
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  SetWindowTextW(window_, Wide(DialogTitle()).c_str());
  for (const DialogControl& control : kMainDialogTemplate.controls) {
    if (control.maxLength > 0) {
      SendMessageW(Item(control.id), EM_LIMITTEXT, static_cast<WPARAM>(control.maxLength), 0);
    }
    for (std::string_view entry : control.items) {
      SendMessageW(Item(control.id), CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    }
  }
  tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                             instance_, nullptr);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_MESSAGE));
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
  SetMessageLabel(Item(IDC_MESSAGE), L"Message", kBlack, kGreen);
  updating_ = true;
  model_.Start();
  updating_ = false;
}

std::string Win32ProgrammerDlg::ItemText(int id) const {
  HWND item = Item(id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

void Win32ProgrammerDlg::SetItemText(int id, const std::string& text) {
  const bool was = std::exchange(updating_, true);
  SetWindowTextW(Item(id), Wide(text).c_str());
  updating_ = was;
}

void Win32ProgrammerDlg::OnCommand(int id, int code) {
  if (updating_) {
    return;
  }
  if (id >= IDC_KEY0 && id < IDC_KEY0 + 8) {
    if (code == EN_CHANGE) {
      model_.OnKeyEdited(id - IDC_KEY0, ItemText(id));
    }
    return;
  }
  switch (id) {
    case IDOK:  // Enter where no push button has the focus
      return model_.OnEnter();
    case IDCANCEL:  // Escape and the close box
      return model_.OnExit();
    case IDC_MCU_TYPE:
      if (code == CBN_SELCHANGE) {
        model_.OnMcuSelected(static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0)));
      }
      return;
    case IDC_FILE_PATH:
      if (code == CBN_EDITCHANGE) {
        model_.OnFilePathEdited(ItemText(id));
      } else if (code == CBN_SELCHANGE) {
        model_.OnRecentFileChosen(static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0)));
      }
      return;
    case IDC_POD_FILE_NAME:
      if (code == EN_CHANGE) {
        model_.OnPodFileNameEdited(ItemText(id));
      }
      return;
    case IDC_INTELLIGENT_ERASE:
    case IDC_ERASE_ALL:
      return model_.OnEraseAllChosen(IsDlgButtonChecked(window_, IDC_ERASE_ALL) == BST_CHECKED);
    case IDC_CSM_OPTION:
      return model_.OnCsmOption(IsDlgButtonChecked(window_, IDC_CSM_OPTION) == BST_CHECKED);
    case IDC_BROWSE:
      return model_.OnBrowse();
    case IDC_LOAD:
      return model_.OnLoad();
    case IDC_TARGET_WRITE:
      return model_.OnTargetWrite();
    case IDC_TARGET_RESET:
      return model_.OnTargetReset();
    case IDC_POD_WRITE:
      return model_.OnPodWrite();
    case IDC_POD_VERIFY:
      return model_.OnPodVerify();
    case IDC_POD_INFO:
      return model_.OnPodInfo();
    case IDC_EXIT:
      return model_.OnExit();
    default:
      return;
  }
}

void Win32ProgrammerDlg::OnContextMenu(POINT at) {
  // Stands in for the window menu, which the frame does not show.
  const std::string_view aboutText = ResourceString(kStringAboutBox);
  if (aboutText.empty()) {
    return;
  }
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, DialogModel::kAboutCommand, Wide(aboutText).c_str());
  if (at.x == -1 && at.y == -1) {  // from the keyboard
    GetCursorPos(&at);
  }
  const int chosen =
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, window_, nullptr);
  DestroyMenu(menu);
  if (chosen != 0) {
    model_.OnSysCommand(chosen);
  }
}

void Win32ProgrammerDlg::ShowStatus(const std::string& text, bool error) {
  SetMessageLabel(Item(IDC_MESSAGE), Wide(text), error ? kRed : kBlack, kGreen);
}

void Win32ProgrammerDlg::SetBarRange(int32_t lower, int32_t upper) {
  SetProgressRange(Item(IDC_PROGRESS), lower, upper);
}

void Win32ProgrammerDlg::SetBarStep(int32_t step) {
  SetProgressStep(Item(IDC_PROGRESS), step);
}

int32_t Win32ProgrammerDlg::SetBarPos(int32_t position) {
  return SetProgressPos(Item(IDC_PROGRESS), position);
}

int32_t Win32ProgrammerDlg::StepBar() {
  return StepProgress(Item(IDC_PROGRESS));
}

void Win32ProgrammerDlg::EnableButton(DialogButton button, bool enabled) {
  for (const DialogButtonControl& control : kDialogButtons) {
    if (control.button == button) {
      EnableWindow(Item(control.id), enabled ? TRUE : FALSE);
    }
  }
}

void Win32ProgrammerDlg::ShowWaitCursor(bool wait) {
  waitCursor_ = wait;
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void Win32ProgrammerDlg::ShowMcuType(int index) {
  SendMessageW(Item(IDC_MCU_TYPE), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32ProgrammerDlg::ShowEraseAll(bool eraseAll) {
  CheckRadioButton(window_, IDC_INTELLIGENT_ERASE, IDC_ERASE_ALL,
                   eraseAll ? IDC_ERASE_ALL : IDC_INTELLIGENT_ERASE);
}

void Win32ProgrammerDlg::ShowCsmOption(bool useCsm) {
  CheckDlgButton(window_, IDC_CSM_OPTION, useCsm ? BST_CHECKED : BST_UNCHECKED);
}

void Win32ProgrammerDlg::ShowKeyCaption(int k, const std::string& caption) {
  SetItemText(IDC_KEY_LABEL0 + k, caption);
}

void Win32ProgrammerDlg::ShowKeyText(int k, const std::string& text) {
  SetItemText(IDC_KEY0 + k, text);
}

void Win32ProgrammerDlg::EnableKeyEdits(bool enabled) {
  for (int k = 0; k < 8; ++k) {
    EnableWindow(Item(IDC_KEY0 + k), enabled ? TRUE : FALSE);
  }
}

void Win32ProgrammerDlg::ShowRecentFiles(const std::vector<std::string>& files) {
  const bool was = std::exchange(updating_, true);
  HWND combo = Item(IDC_FILE_PATH);
  const std::string shown = ItemText(IDC_FILE_PATH);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& file : files) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(file).c_str()));
  }
  SetWindowTextW(combo, Wide(shown).c_str());
  updating_ = was;
}

void Win32ProgrammerDlg::ShowFilePath(const std::string& path) {
  const bool was = std::exchange(updating_, true);
  HWND combo = Item(IDC_FILE_PATH);
  const std::wstring text = Wide(path);
  // The entry that holds the path is the current one, as a choice from the
  // list leaves it.
  const LRESULT entry = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  SetWindowTextW(combo, text.c_str());
  updating_ = was;
}

void Win32ProgrammerDlg::ShowPodFileName(const std::string& name) {
  SetItemText(IDC_POD_FILE_NAME, name);
}

void Win32ProgrammerDlg::ShowStatusDetail(const std::string& detail) {
  statusDetail_ = Wide(detail);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_MESSAGE));
  tool.lpszText = statusDetail_.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32ProgrammerDlg::ShowAllocationFailure(const std::string& text) {
  MessageBoxW(window_, Wide(text).c_str(), Wide(DialogTitle()).c_str(), MB_OK | MB_ICONERROR);
}

void Win32ProgrammerDlg::ShowAboutBox() {
  const std::vector<uint16_t> about = BuildDialogTemplate(kAboutBoxTemplate);
  DialogBoxIndirectParamW(instance_, reinterpret_cast<LPCDLGTEMPLATEW>(about.data()), window_,
                          AboutProc, 0);
}

std::optional<std::string> Win32ProgrammerDlg::AskForProgramFile(const std::string& folder) {
  std::wstring file(32768, L'\0');
  const std::wstring initial = Wide(folder);
  // The reader tells the formats apart by content; the second filter offers
  // the hex utility's output beside the linker's.
  static constexpr wchar_t kFilters[] =
      L"COFF Files (.out)\0*.out\0C28x programs\0*.out;*.hex;*.txt\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = kFilters;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) {
    return std::nullopt;
  }
  file.resize(file.find(L'\0'));
  return Utf8(file);
}

void Win32ProgrammerDlg::HoldInput(bool held) {
  inputHeld_ = held;
  if (held) {
    return;
  }
  // What arrived since the last turn is dropped too, not left to act on the
  // window the operation hands back.
  MSG message;
  for (const auto& [first, last] :
       {std::pair{WM_KEYFIRST, WM_KEYLAST}, std::pair{WM_MOUSEFIRST, WM_MOUSELAST},
        std::pair{WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}}) {
    while (PeekMessageW(&message, nullptr, first, last, PM_REMOVE)) {
    }
  }
}

void Win32ProgrammerDlg::AnswerDesktop() {
  // Every message: repaints, the desktop's requests; input is dropped.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (inputHeld_ && IsUserInput(message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32ProgrammerDlg::CloseWindow() {
  if (modal_) {
    EndDialog(window_, IDOK);
  } else {
    DestroyWindow(window_);
  }
}
