"""The include rules of check_layers.py, case by case on a small tree."""
import contextlib
import io
import pathlib
import tempfile
import unittest

import check_layers

# A header in each layer, and one from the tests.
HEADERS = [
    "image/ProgramImage.h",
    "pod/PodLink.h",
    "emulator/EmulatorDriver.h",
    "ops/UserText.h",
    "dialog/DialogModel.h",
    "resources/DialogTemplates.h",
    "resources/Resources.h",
    "widgets/CMessageLabel.h",
    "app/CProgrammerDlg.h",
    "cli/Commands.h",
    "win32/Win32View.h",
    "tests/support/CoffWriter.h",
]


class LayerRules(unittest.TestCase):
    def setUp(self):
        self.tree = tempfile.TemporaryDirectory()
        self.root = self.tree.name
        for header in HEADERS:
            path = pathlib.Path(self.root, header)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text("#pragma once\n")

    def tearDown(self):
        self.tree.cleanup()

    def test_each_include_is_judged_by_the_layer_of_the_file(self):
        refused, allowed = True, False
        cases = [
            # Arrows point down only.
            ("pod/PodLink.cpp", '#include "image/ProgramImage.h"', allowed),
            ("image/CoffReader.cpp", '#include "pod/PodLink.h"', refused),
            ("pod/PodLink.cpp", '#include "emulator/EmulatorDriver.h"', refused),
            ("emulator/PodFirmware.cpp", '#include "pod/PodLink.h"', allowed),
            ("ops/UserText.cpp", '#include "emulator/EmulatorDriver.h"', refused),
            ("ops/DriverSelection.cpp", '#include "emulator/EmulatorDriver.h"', allowed),
            ("app/CProgrammerDlg.cpp", '#include "emulator/EmulatorDriver.h"', refused),
            ("app/CProgrammerDlg.cpp", '#include "widgets/CMessageLabel.h"', allowed),
            ("app/CProgrammerDlg.cpp", '#include "ops/UserText.h"', allowed),
            ("ops/UserText.cpp", '#include "app/CProgrammerDlg.h"', refused),
            ("dialog/DialogModel.cpp", '#include "ops/UserText.h"', allowed),
            ("dialog/DialogModel.cpp", '#include "resources/DialogTemplates.h"', allowed),
            ("dialog/DialogModel.cpp", '#include "app/CProgrammerDlg.h"', refused),
            ("dialog/DialogModel.cpp", '#include "widgets/CMessageLabel.h"', refused),
            ("dialog/DialogModel.cpp", '#include "win32/Win32View.h"', refused),
            ("dialog/DialogModel.cpp", '#include "emulator/EmulatorDriver.h"', refused),
            ("ops/UserText.cpp", '#include "dialog/DialogModel.h"', refused),
            ("ops/UserText.cpp", '#include "win32/Win32View.h"', refused),
            ("app/CProgrammerDlg.cpp", '#include "dialog/DialogModel.h"', allowed),
            ("win32/Win32View.cpp", '#include "dialog/DialogModel.h"', allowed),
            ("win32/Win32View.cpp", '#include "app/CProgrammerDlg.h"', refused),
            ("win32/Win32View.cpp", '#include "widgets/CMessageLabel.h"', refused),
            ("cli/main.cpp", '#include "dialog/DialogModel.h"', refused),
            ("cli/main.cpp", '#include "win32/Win32View.h"', refused),
            ("widgets/CMessageLabel.cpp", '#include "resources/Resources.h"', allowed),
            ("widgets/CMessageLabel.cpp", '#include "app/CProgrammerDlg.h"', refused),
            ("resources/Resources.cpp", '#include "widgets/CMessageLabel.h"', refused),
            ("cli/main.cpp", '#include "ops/UserText.h"', allowed),
            ("cli/main.cpp", '#include "app/CProgrammerDlg.h"', refused),
            ("cli/main.cpp", '#include "widgets/CMessageLabel.h"', refused),
            ("image/CoffReader.cpp", '#include "tests/support/CoffWriter.h"', refused),
            # Names next to the file, climbing out of it, in angle brackets.
            ("emulator/TargetBoard.cpp", '#include "EmulatorDriver.h"', allowed),
            ("pod/PodStore.cpp", '#include "../emulator/EmulatorDriver.h"', refused),
            ("image/CoffReader.cpp", "#include <pod/PodLink.h>", refused),
            ("pod/PodLink.h", '  #  include "emulator/EmulatorDriver.h"', refused),
            # Qt stays above the operations.
            ("image/CoffReader.cpp", "#include <QString>", refused),
            ("pod/PodLink.h", "#include <QtCore/QByteArray>", refused),
            ("emulator/PodFirmware.cpp", "#include <qglobal.h>", refused),
            ("ops/UserText.cpp", "#include <QStringList>", refused),
            ("dialog/DialogModel.h", "#include <QString>", refused),
            ("win32/Win32View.cpp", "#include <QWidget>", refused),
            ("cli/main.cpp", "#include <QJsonObject>", allowed),
            ("widgets/CMessageLabel.cpp", "#include <QLabel>", allowed),
            # Headers from outside the project.
            ("pod/TtyDriver.cpp", "#include <linux/serial.h>", allowed),
            ("image/CoffReader.cpp", "#include <queue>", allowed),
            ("pod/D2xxDriver.cpp", '#include "ftd2xx.h"', allowed),
        ]
        for source, line, verdict in cases:
            with self.subTest(source=source, line=line):
                found = check_layers.violations(self.root, source, "// x\n" + line + "\n")
                self.assertEqual(bool(found), verdict, found)
                if found:
                    self.assertTrue(found[0].startswith(source + ":2: "), found[0])

    def test_only_a_file_of_one_system_asks_which_system_it_is_on(self):
        refused, allowed = True, False
        cases = [
            ("pod/D2xxDriver.cpp", "#ifdef _WIN32", refused),
            ("cli/PodCommand.cpp", "  #  if defined(_WIN32) || defined(__MINGW32__)", refused),
            ("emulator/StateFile.h", "#ifndef _WIN32", refused),
            ("pod/D2xxLibrary.windows.cpp", "#ifdef _WIN32", allowed),
            ("pod/D2xxLibrary.posix.cpp", "#ifndef _WIN32", allowed),
            ("win32/Win32View.cpp", "#ifdef _WIN32", allowed),
            ("pod/TtyDriver.cpp", "// no #ifdef _WIN32 here", allowed),
        ]
        for source, line, verdict in cases:
            with self.subTest(source=source, line=line):
                found = check_layers.violations(self.root, source, "// x\n" + line + "\n")
                self.assertEqual(bool(found), verdict, found)

    def test_a_qt_free_layer_may_not_reach_qt_through_a_header_that_includes_it(self):
        pathlib.Path(self.root, "resources/Resources.h").write_text("#pragma once\n#include <QIcon>\n")
        found = check_layers.violations(
            self.root, "dialog/DialogModel.cpp", '#include "resources/Resources.h"\n')
        self.assertEqual(len(found), 1, found)
        self.assertIn("includes Qt", found[0])
        self.assertEqual(check_layers.violations(
            self.root, "widgets/CMessageLabel.cpp", '#include "resources/Resources.h"\n'), [])

    def test_the_whole_tree_fails_on_one_bad_include_and_names_it(self):
        pathlib.Path(self.root, "pod/PodLink.cpp").write_text(
            '#include "pod/PodLink.h"\n#include "emulator/EmulatorDriver.h"\n')
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = check_layers.main(["check_layers.py", self.root])
        self.assertEqual(status, 1)
        self.assertIn("pod/PodLink.cpp:2: pod/ includes emulator/EmulatorDriver.h", out.getvalue())

    def test_a_tree_without_sources_is_a_wrong_root_not_a_pass(self):
        with tempfile.TemporaryDirectory() as empty, contextlib.redirect_stdout(io.StringIO()):
            self.assertEqual(check_layers.main(["check_layers.py", empty]), 1)


if __name__ == "__main__":
    unittest.main()
