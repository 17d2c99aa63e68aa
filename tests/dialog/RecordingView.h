// A DialogView that writes down what the model told it, in order, so a test
// can check what a window would show.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/DialogView.h"

inline const char* ButtonName(DialogButton button) {
  switch (button) {
    case DialogButton::Load:
      return "Load";
    case DialogButton::TargetReset:
      return "TargetReset";
    case DialogButton::PodInfo:
      return "PodInfo";
    case DialogButton::Exit:
      return "Exit";
    case DialogButton::PodWrite:
      return "PodWrite";
    case DialogButton::PodVerify:
      return "PodVerify";
    case DialogButton::TargetWrite:
      return "TargetWrite";
  }
  return "?";
}

class RecordingView final : public DialogView {
 public:
  // "status TEXT", "error TEXT", "enable Load 0", "wait 1", "mcu 3",
  // "erase-all 1", "csm 1", "key 0 FFFF", "keys-enabled 0", "recent A|B",
  // "path TEXT", "pod-name NAME", "detail TEXT", "about", "ask FOLDER",
  // "hold 1", "close". The bar's positions are only counted.
  std::vector<std::string> events;
  int32_t barMoves = 0;
  int32_t barPos = 0;
  // What the file chooser answers.
  std::optional<std::string> chosenFile;
  // Runs at each move of the progress bar, in the midst of an operation.
  std::function<void()> onBarMove;
  int turns = 0;

  void ShowStatus(const std::string& text, bool error) override {
    events.push_back((error ? "error " : "status ") + text);
  }
  void SetBarRange(int32_t, int32_t) override {}
  void SetBarStep(int32_t) override {}
  int32_t SetBarPos(int32_t position) override {
    const int32_t previous = std::exchange(barPos, position);
    ++barMoves;
    if (onBarMove) {
      onBarMove();
    }
    return previous;
  }
  // The model moves the bar only by its position.
  int32_t StepBar() override {
    ADD_FAILURE() << "the bar stepped";
    return barPos;
  }
  void EnableButton(DialogButton button, bool enabled) override {
    events.push_back(std::string("enable ") + ButtonName(button) + (enabled ? " 1" : " 0"));
  }
  void ShowWaitCursor(bool wait) override { events.push_back(wait ? "wait 1" : "wait 0"); }
  void ShowMcuType(int index) override { events.push_back("mcu " + std::to_string(index)); }
  void ShowEraseAll(bool eraseAll) override {
    events.push_back(eraseAll ? "erase-all 1" : "erase-all 0");
  }
  void ShowCsmOption(bool useCsm) override { events.push_back(useCsm ? "csm 1" : "csm 0"); }
  void ShowKeyCaption(int k, const std::string& caption) override {
    events.push_back("caption " + std::to_string(k) + " " + caption);
  }
  void ShowKeyText(int k, const std::string& text) override {
    events.push_back("key " + std::to_string(k) + " " + text);
  }
  void EnableKeyEdits(bool enabled) override {
    events.push_back(enabled ? "keys-enabled 1" : "keys-enabled 0");
  }
  void ShowRecentFiles(const std::vector<std::string>& files) override {
    std::string line = "recent ";
    for (size_t i = 0; i < files.size(); ++i) {
      line += (i == 0 ? "" : "|") + files[i];
    }
    events.push_back(line);
  }
  void ShowFilePath(const std::string& path) override { events.push_back("path " + path); }
  void ShowPodFileName(const std::string& name) override { events.push_back("pod-name " + name); }
  void ShowStatusDetail(const std::string& detail) override {
    events.push_back("detail " + detail);
  }
  void ShowAllocationFailure(const std::string& text) override {
    events.push_back("allocation " + text);
  }
  void ShowAboutBox() override { events.push_back("about"); }
  std::optional<std::string> AskForProgramFile(const std::string& folder) override {
    events.push_back("ask " + folder);
    return chosenFile;
  }
  void HoldInput(bool held) override { events.push_back(held ? "hold 1" : "hold 0"); }
  void AnswerDesktop() override { ++turns; }
  void CloseWindow() override { events.push_back("close"); }

  // The events that start with `prefix`.
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> found;
    std::ranges::copy_if(events, std::back_inserter(found),
                         [&](const std::string& e) { return e.starts_with(prefix); });
    return found;
  }
  // The last status line shown, error or not.
  std::string LastMessage() const {
    for (auto e = events.rbegin(); e != events.rend(); ++e) {
      if (e->starts_with("status ") || e->starts_with("error ")) {
        return *e;
      }
    }
    return {};
  }
};
