// What a screen reader and a tooltip tell about the window: the names of the
// edits, the status line's own words, and why the last run failed or which
// POD it used.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "app/CProgrammerDlg.h"
#include "tests/app/WindowTestSupport.h"
#include "widgets/CMessageLabel.h"

namespace {

TEST(WindowAccessibilityTest, EditsAreNamedAndTheStatusLineIsReadAsItShows) {
  EmptySettings empty;
  EmulatorDriver* emulator = nullptr;
  CProgrammerDlg dlg(OnEmulator(emulator));
  EXPECT_EQ(dlg.Control<QComboBox>(IDC_FILE_PATH)->accessibleName(), "File Path");
  EXPECT_EQ(dlg.Control<QLineEdit>(IDC_POD_FILE_NAME)->accessibleName(), "POD File Name");
  EXPECT_EQ(dlg.Control<QLineEdit>(IDC_KEY0)->accessibleName(), "KEY0 (0x3F7FF8)");
  EXPECT_EQ(dlg.Control<QLineEdit>(IDC_KEY0 + 7)->accessibleName(), "KEY7 (0x3F7FFF)");
  auto* status = dlg.Control<CMessageLabel>(IDC_MESSAGE);
  EXPECT_EQ(status->accessibleName(), "Connection to Brontaflex POD is successful");

  dlg.Control<QAbstractButton>(IDC_TARGET_RESET)->click();
  EXPECT_EQ(status->accessibleName(), "Target board's reset is successful");
  EXPECT_TRUE(status->toolTip().contains("serial BFX00001")) << status->toolTip().toStdString();
  EXPECT_TRUE(status->toolTip().contains("driver: emulator"));

  emulator->Faults().Add(FaultTrigger::OnLetter('R', 2), {FaultKind::NoReply});
  dlg.Control<QAbstractButton>(IDC_TARGET_RESET)->click();
  EXPECT_TRUE(status->toolTip().startsWith("cause: "))
      << status->toolTip().toStdString() << " / " << status->LabelText().toStdString();
  EXPECT_EQ(status->accessibleDescription(), status->toolTip());
  EXPECT_EQ(status->accessibleName(), status->LabelText()) << "the message, not the cause";
}

}  // namespace
