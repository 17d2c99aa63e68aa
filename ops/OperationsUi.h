// What an operation needs from whoever runs it: the status line and progress
// bar (ProgressReporter) plus the few things only the window has. The window
// and the command line each implement it once.
#pragma once

#include <string>
#include <vector>

#include "pod/PortDriver.h"

#include "ops/BackendProbe.h"
#include "ops/ProcedureTexts.h"
#include "pod/FailureCause.h"
#include "pod/ProcedureReporter.h"

// The status line and the progress bar. The POD procedures' steps show on the
// status line in its words for them.
class ProgressReporter : public ProcedureReporter {
 public:
  // One message at a time; `error` shows it as a failure (red in the window).
  virtual void ShowStatus(const std::string& text, bool error) = 0;
  void ShowStep(ProcedureStep step) final {
    ShowStatus(std::string(ProcedureStepText(step)), false);
  }
};

class OperationsUi : public ProgressReporter {
 public:
  // Busy: the seven push buttons disabled and the wait cursor shown; not busy
  // undoes both. Called in pairs around the long POD procedures.
  virtual void SetBusy(bool busy) = 0;
  // A file was loaded with addToRecent set: bring `path` to the head of the
  // recent-file list (the window's File Path combo; nothing on the command line).
  virtual void AddRecentFile(const std::string& path) = 0;
  // POD Write settled on the name it stores: show it in the POD File Name edit.
  virtual void ShowPodFileName(const std::string& name) = 0;
  // A section of the file could not be allocated; `text` is the system's reason.
  // The window shows it in a message box; the status line says the rest.
  virtual void ShowAllocationFailure(const std::string& text) { (void)text; }
  // Why the POD command behind the error just shown failed. The window keeps to
  // its own messages and shows nothing; the command line prints it.
  virtual void ShowFailureCause(const FailureCause& cause) { (void)cause; }
  // Something the user should know that does not stop the operation. The
  // window's status line keeps to its own texts, so only the command line
  // shows it.
  virtual void ShowWarning(const std::string& text) { (void)text; }
  // What the driver saw, after the error just shown when the POD could not be
  // found, chosen or opened. The window keeps to its own messages; the command
  // line lists the ports.
  virtual void ShowPortsSeen(const std::vector<PortDetails>& ports) { (void)ports; }
  // The backends the default choice of driver passed over, with what each
  // saw and why it was not used, after the error just shown when the POD
  // could not be reached.
  virtual void ShowBackendsPassedOver(const std::vector<BackendProbe>& probes) { (void)probes; }
  // How this user names the POD to use when several are attached.
  virtual std::string HowToChoosePod() const { return "--pod SERIAL"; }
};
