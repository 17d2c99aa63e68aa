// The Win32 window in-process on the emulated POD: the template as Windows
// lays it out, the texts it shows, every button pressed by message, input
// made while busy, a Korean path, and one instance at a time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <regex>
#include <string>

#include "emulator/EmulatorDriver.h"
#include "resources/DialogTemplates.h"
#include "tests/ops/Programs.h"
#include "win32/DialogTemplateBuilder.h"
#include "win32/WideText.h"
#include "win32/Win32ProgrammerDlg.h"

namespace {

using testing::MatchesRegex;

MATCHER_P(Matches, pattern, std::string("matches ") + pattern) {
  return std::regex_match(arg, std::regex(pattern));
}

class Win32WindowTest : public testing::Test {
 protected:
  Win32WindowTest() {
    dlg_ = std::make_unique<Win32ProgrammerDlg>(
        GetModuleHandleW(nullptr), store_, [this](Clock& clock, McuType) {
          auto driver = std::make_unique<EmulatorDriver>(clock);
          emulator_ = driver.get();
          return driver;
        });
    window_ = dlg_->Open();
    ShowWindow(window_, SW_SHOW);
    Pump();
  }

  HWND Item(int id) const { return GetDlgItem(window_, id); }
  std::string Text(HWND item) const {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
  }
  std::string Text(int id) const { return Text(Item(id)); }
  std::string Message() const { return Text(IDC_MESSAGE); }
  void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  // Types into the File Path box as the user does.
  void TypeFilePath(const std::string& path) {
    SetWindowTextW(Item(IDC_FILE_PATH), Wide(path).c_str());
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_FILE_PATH, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(Item(IDC_FILE_PATH)));
  }
  void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsWindow(window_) || !IsDialogMessageW(window_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }
  bool AllButtonsEnabled() const {
    for (int id : {IDC_LOAD, IDC_TARGET_RESET, IDC_POD_INFO, IDC_EXIT, IDC_POD_WRITE,
                   IDC_POD_VERIFY, IDC_TARGET_WRITE}) {
      if (!IsWindowEnabled(Item(id))) {
        return false;
      }
    }
    return true;
  }

  MemorySettingsStore store_;
  ScratchDir dir_;
  EmulatorDriver* emulator_ = nullptr;
  std::unique_ptr<Win32ProgrammerDlg> dlg_;
  HWND window_ = nullptr;
};

TEST_F(Win32WindowTest, EveryControlOfTheTemplateIsWhereItsDialogUnitsPutIt) {
  ASSERT_NE(window_, nullptr);
  for (const DialogControl& control : kMainDialogTemplate.controls) {
    if (control.id == IDC_STATIC) {
      continue;
    }
    SCOPED_TRACE(std::string(control.name));
    HWND item = Item(control.id);
    ASSERT_NE(item, nullptr);
    RECT expected{control.rect.x, control.rect.y, control.rect.x + control.rect.width,
                  control.rect.y + control.rect.height};
    MapDialogRect(window_, &expected);
    RECT actual;
    GetWindowRect(item, &actual);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_NEAR(actual.left, expected.left, 2);
    EXPECT_NEAR(actual.top, expected.top, 2);
    EXPECT_NEAR(actual.right, expected.right, 2);
    // A combo box's template height includes its dropped list.
    const bool combo =
        control.kind == ControlKind::DropDownList || control.kind == ControlKind::DropDownCombo;
    if (!combo) {
      EXPECT_NEAR(actual.bottom, expected.bottom, 2);
    }
  }
}

TEST_F(Win32WindowTest, StartShowsTheProgramsTextsAndWhatTheSearchFound) {
  EXPECT_EQ(Text(window_), "TMS320F280x DSP Programmer Ver1.1 - Veskora");
  EXPECT_EQ(Text(IDC_CSM_OPTION), "Unlock CSM(Code Security Module) 사용 여부");
  EXPECT_EQ(Text(IDC_KEY_LABEL0), "KEY0 (0x3F7FF8)");
  EXPECT_EQ(Text(IDC_KEY_LABEL0 + 7), "KEY7 (0x3F7FFF)");
  EXPECT_EQ(Text(IDC_KEY0 + 3), "FFFF");
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_KEY0)));
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_BROWSE)));
  EXPECT_EQ(SendMessageW(Item(IDC_MCU_TYPE), CB_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(SendMessageW(Item(IDC_MCU_TYPE), CB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(IsDlgButtonChecked(window_, IDC_INTELLIGENT_ERASE), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Message(), "Connection to Brontaflex POD is successful");
  EXPECT_TRUE(AllButtonsEnabled());

  Click(IDC_CSM_OPTION);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_KEY0)));
  Click(IDC_LOAD);
  EXPECT_EQ(Message(), "Please, specify COFF file to read");
}

TEST_F(Win32WindowTest, EveryOperationRunsOnTheEmulatedPodFromAKoreanPath) {
  const std::string path = dir_.Write("보드 프로그램 1.out", FlashProgram().Build());
  TypeFilePath(path);
  Click(IDC_LOAD);
  EXPECT_EQ(Message(), "Reading COFF file is successful");
  EXPECT_EQ(SendMessageW(Item(IDC_FILE_PATH), CB_GETCOUNT, 0, 0), 1) << "in the recent files";

  const struct {
    int button;
    const char* message;
  } runs[] = {
      {IDC_TARGET_WRITE, "Flash Write Completed - [0-9]+\\.[0-9]{2} sec"},
      {IDC_POD_WRITE, "EEPROM Write Completed - [0-9]+\\.[0-9]{2} sec"},
      {IDC_POD_VERIFY, "EEPROM Verify Completed - [0-9]+\\.[0-9]{2} sec"},
      {IDC_POD_INFO, "POD Ver: 1\\.1, POD File Name: 보드 *\\[when .*\\]"},
      {IDC_TARGET_RESET, "Target board's reset is successful"},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.message);
    Click(run.button);
    EXPECT_THAT(Message(), Matches(run.message));
    EXPECT_TRUE(AllButtonsEnabled());
    EXPECT_FALSE(emulator_->IsOpen());
  }
  EXPECT_EQ(emulator_->Target().ReadWord(0x3E8000), 0x1000) << "the program is in the flash";
}

TEST_F(Win32WindowTest, InputMadeWhileAnOperationRunsIsDroppedNotReplayed) {
  TypeFilePath(dir_.Write("p.out", FlashProgram().Build()));
  Click(IDC_LOAD);
  // A click on Exit and an Escape, waiting in the queue as the write starts.
  PostMessageW(Item(IDC_EXIT), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(Item(IDC_EXIT), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  PostMessageW(Item(IDC_LOAD), WM_KEYDOWN, VK_ESCAPE, 0);
  Click(IDC_TARGET_WRITE);
  Pump();
  EXPECT_TRUE(IsWindow(window_)) << "the window is still there";
  EXPECT_THAT(Message(), Matches("Flash Write Completed - .*"));
  // Afterwards the same click ends it.
  Click(IDC_EXIT);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(dlg_->window(), nullptr);
  EXPECT_EQ(dlg_->Model().Operations(), nullptr) << "ended as the model ends";
}

TEST_F(Win32WindowTest, WhileInputIsHeldTheWindowAnswersAndDropsEveryClickAndKey) {
  const auto postInput = [this] {
    PostMessageW(Item(IDC_EXIT), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(Item(IDC_EXIT), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageW(window_, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(window_, WM_NCLBUTTONDOWN, HTCLOSE, 0);
  };
  const auto inputLeft = [] {
    MSG left;
    return PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE) ||
           PeekMessageW(&left, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE) ||
           PeekMessageW(&left, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_NOREMOVE);
  };
  dlg_->HoldInput(true);
  postInput();
  PostMessageW(window_, WM_NULL, 0, 0);  // anything else is handled
  dlg_->AnswerDesktop();
  EXPECT_FALSE(inputLeft());
  MSG other;
  EXPECT_FALSE(PeekMessageW(&other, nullptr, 0, 0, PM_NOREMOVE)) << "the rest was handled";
  // Input that came after the last turn is dropped when the hold ends.
  postInput();
  dlg_->HoldInput(false);
  EXPECT_FALSE(inputLeft());
  Pump();
  EXPECT_TRUE(IsWindow(window_));
}

TEST(Win32ProgramTest, ASecondStartEndsAtOnceWithoutAWindow) {
  // This process holds the lock as a first instance would.
  HANDLE first = CreateMutexW(nullptr, TRUE, L"Brontaflex");
  ASSERT_NE(first, nullptr);
  std::wstring command = L"\"" + Wide(BRONTAFLEX_WINDOW_EXE) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  EXPECT_EQ(status, 0u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(first);
}

}  // namespace
