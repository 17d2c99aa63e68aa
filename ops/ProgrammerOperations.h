// The user operations behind the window's buttons and the command line's
// commands: load a COFF file, connect to the POD, write or reset the target,
// store, verify and query the POD's own copy. Qt-free; everything the user
// sees goes through the OperationsUi.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "image/ProgramReadResult.h"
#include "ops/BackendProbe.h"
#include "ops/LoadedProgram.h"
#include "ops/OperationOutcome.h"
#include "ops/OperationRequest.h"
#include "ops/OperationsUi.h"
#include "pod/Clock.h"
#include "pod/CsmKeys.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"
#include "pod/PodStore.h"
#include "pod/PortDriver.h"
#include "pod/TargetProgrammer.h"

class ProgrammerOperations {
 public:
  using LocalTime = std::function<std::tm()>;

  // `clock` and `ui` must outlive this object. `localTime` dates POD writes.
  ProgrammerOperations(std::unique_ptr<PortDriver> driver, Clock& clock, OperationsUi& ui,
                       LocalTime localTime = LocalTimeNow);
  // Closes the link and releases the driver.
  ~ProgrammerOperations();
  ProgrammerOperations(const ProgrammerOperations&) = delete;
  ProgrammerOperations& operator=(const ProgrammerOperations&) = delete;

  // Window start: load the driver (showing "Fail to load FTD2XX.DLL" when it
  // fails and `showFailure` is set), then look for the POD without opening it
  // and show the result. Every later operation reports a driver that failed.
  bool LoadDriver(bool showFailure = true);
  bool FindPod();
  // Every POD the driver sees, for a run on all of them; none found (or a
  // driver that does not load) is shown as PodNotFound with what it sees.
  std::vector<PortDetails> AttachedPods();
  // Window end.
  void CloseLink();
  void UnloadDriver();

  // Reads `path` into the image for the device `mcuTypeSelection` and shows the
  // result. A missing file changes nothing; any later failure empties the image.
  OperationOutcome LoadProgramFile(const std::string& path, bool addToRecent,
                                   McuType mcuTypeSelection);
  // The Load button: the typed path, trimmed; empty is refused with a message.
  OperationOutcome Load(const std::string& pathText, McuType mcuTypeSelection);
  // Takes `loaded` as the image, as if this object had read it: what a run
  // on several PODs does with the one file it read for all of them.
  void UseProgram(LoadedProgram loaded);
  // While the link waits for the POD, `hook` gets a turn at least every
  // PodLink::kIdleIntervalMs; the window answers the desktop there.
  void SetIdleHook(std::function<void()> hook) { link_.SetIdleHook(std::move(hook)); }
  // Which POD to talk to: the one with USB serial number `serialNumber`, else
  // the first one found. With `refuseSeveral` and no serial number, ConnectPod
  // refuses when more than one POD is attached (the command line's rule; the
  // window takes the first).
  void ChoosePod(std::string serialNumber, bool refuseSeveral);
  // What the default choice of driver asked of each backend; a failure to
  // reach the POD shows those passed over.
  void SetDriverProbes(std::vector<BackendProbe> probes) { probes_ = std::move(probes); }
  // Makes sure the port to the POD is open and the POD answered.
  OperationOutcome ConnectPod();
  // Fills csmKeys() from the eight key texts; false when all eight are 0000.
  bool ReadCsmKeys(const CsmKeyTexts& keyTexts);

  OperationOutcome TargetWrite(const OperationRequest& request);
  OperationOutcome TargetReset();
  // Erases the request's sectors (every one with eraseAll) of its device's
  // flash and resets the target; no program file is read.
  OperationOutcome TargetErase(const OperationRequest& request);
  OperationOutcome PodWrite(const OperationRequest& request);
  OperationOutcome PodVerify(const OperationRequest& request);
  OperationOutcome PodInfo();

  bool imageLoaded() const { return imageLoaded_; }
  // The file the image was read from; empty before the first load.
  const std::string& imagePath() const { return imagePath_; }
  // Counts the loads that read a file, so a caller can tell the image was
  // read again, here or by an operation that reloaded it for another device.
  uint32_t loadCount() const { return loadCount_; }
  // What the COFF reader said at the last load that found its file.
  ProgramReadResult lastReadResult() const { return lastReadResult_; }
  // The SHA-256 of the bytes the last load read; empty when it read none.
  const std::string& fileSha256() const { return fileSha256_; }
  // MemoryDigest of the image; empty while none is loaded.
  const std::string& memoryDigest() const { return memoryDigest_; }
  // The loaded file's name without extension, at most 8 bytes.
  const std::string& programName() const { return programName_; }
  // The name the last POD Write stored; the window restores it from its settings.
  const std::string& podFileName() const { return podFileName_; }
  void SetPodFileName(std::string name) { podFileName_ = std::move(name); }
  // The firmware version of the last POD Info in tenths (11 is 1.1); 0 when none.
  uint16_t podVersion() const { return podVersion_; }
  // The tag the last POD Info read; not present when none was read.
  const PodTagInfo& podTag() const { return podTag_; }
  // The device the image was classified for.
  McuType mcuType() const { return mcuType_; }
  const CsmKeys& csmKeys() const { return csmKeys_; }
  const ProgramImage& image() const { return *image_; }
  const PodLink& link() const { return link_; }
  // The backend the operations talk through ("emulator", "tty"...).
  std::string DriverName() const { return driver_->Name(); }
  // The port of the POD the link found: the chosen serial number's, else the
  // first with the POD's description; nothing before a POD was found.
  std::optional<PortDetails> PodPort() const;

 private:
  // No image loaded: load the File Path text, refusing an empty one with
  // `emptyMessage`. An image read for another device than the request's is
  // read again from its file for that device.
  OperationOutcome EnsureImage(const OperationRequest& request, const char* emptyMessage);
  // Refuses an image with a section that would be sent (in `flashMode` only
  // the flash sections are) and that the device cannot hold, naming the
  // first such section.
  OperationOutcome CheckSectionsFit(bool flashMode);
  // Names, on the warning channel, the sections a flash write leaves out.
  void WarnSectionsLeftOut();
  // Names, on the warning channel, each section of a download into RAM that
  // lies in the boot ROM's stack.
  void WarnBootRomStack();
  // The image tests of POD Write and POD Verify, in their order.
  OperationOutcome CheckPodImage();
  // CSM option: read the keys or refuse; without it the keys stay erased.
  OperationOutcome TakeCsmKeys(const OperationRequest& request);
  // Busy, `procedure` timed by the clock, `doneMessage` and the time on success,
  // then the clean-up that always runs: link closed, bar at 0, not busy. A
  // procedure that failed because the user asked it to stop is Interrupted.
  OperationOutcome RunProcedure(const std::function<OperationOutcome()>& procedure,
                                const std::string& doneMessage);
  // The operation's outcome for how the target procedure ended, its failure
  // shown with `cause`.
  OperationOutcome TargetOutcome(TargetWriteResult result, const FailureCause& cause);
  // The same for a store or verify of the POD, which failed as `failed`.
  OperationOutcome StoreOutcome(PodStoreResult result, OperationOutcome failed,
                                const FailureCause& cause);
  // The POD's commands for the device and keys as they stand when an operation starts.
  PodCommands Commands();
  void Error(std::string_view text);
  // Shows the failure's message from the outcome table, then why the POD
  // command behind it failed when that is known, and returns the outcome.
  OperationOutcome Fail(OperationOutcome outcome, const FailureCause& cause = {});
  // The same with a message of the procedure's own for an outcome without one.
  OperationOutcome FailWith(std::string_view message, OperationOutcome outcome,
                            const FailureCause& cause);
  // Warns of a latency timer that the open could not bring down to 1 ms.
  void WarnSlowLatency();
  // Shows the failure's message, then every device the driver sees.
  OperationOutcome FailWithPortsSeen(OperationOutcome outcome);
  // After a failure to reach the POD: `ports`, what the driver in use sees,
  // unless it sees nothing and a backend passed over saw something; then the
  // backends passed over.
  void ShowWhatWasSeen(const std::vector<PortDetails>& ports);

  std::unique_ptr<PortDriver> driver_;
  Clock& clock_;
  OperationsUi& ui_;
  LocalTime localTime_;
  // Shared read-only with the other PODs' operations in a run on several.
  std::shared_ptr<const ProgramImage> image_ = NoProgramImage();
  McuType mcuType_ = kDefaultMcuType;
  CsmKeys csmKeys_ = kErasedCsmKeys;
  PodLink link_;
  bool imageLoaded_ = false;
  ProgramReadResult lastReadResult_ = ProgramReadResult::Ok;
  std::string programName_;
  // The file the image was read from.
  std::string imagePath_;
  std::string fileSha256_;
  std::string memoryDigest_;
  std::string podFileName_;
  uint16_t podVersion_ = 0;
  PodTagInfo podTag_;
  bool refuseSeveralPods_ = false;
  uint32_t loadCount_ = 0;
  std::vector<BackendProbe> probes_;
};
