#include "ops/ProgrammerOperations.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <utility>

#include "ops/SetupAdvice.h"
#include "ops/UserText.h"
#include "pod/TargetProgrammer.h"

namespace {

// The operation's outcome for each way the target procedure ends.
constexpr std::pair<TargetWriteResult, OperationOutcome> kTargetWriteOutcomes[] = {
    {TargetWriteResult::Finished, OperationOutcome::Done},
    {TargetWriteResult::SciBootFailed, OperationOutcome::SciBootFailed},
    {TargetWriteResult::RamDownloadFailed, OperationOutcome::RamDownloadFailed},
    {TargetWriteResult::ResetFailed, OperationOutcome::ResetFailed},
    {TargetWriteResult::FlashAlgorithmFailed, OperationOutcome::FlashAlgorithmFailed},
    {TargetWriteResult::FlashInitFailed, OperationOutcome::FlashInitFailed},
    {TargetWriteResult::EraseFailed, OperationOutcome::EraseFailed},
    {TargetWriteResult::ProgramFailed, OperationOutcome::ProgramFailed},
};

OperationOutcome TargetWriteOutcome(TargetWriteResult result) {
  const auto pair = std::ranges::find(kTargetWriteOutcomes, result,
                                      &std::pair<TargetWriteResult, OperationOutcome>::first);
  return pair == std::end(kTargetWriteOutcomes) ? OperationOutcome::ProgramFailed : pair->second;
}

// A verify that read the POD's copy and found it differs, or found none, is
// told apart from one that could not read it: a production line rejects the
// POD on the first and tries the link again on the second.
OperationOutcome VerifyOutcome(PodStoreResult result) {
  switch (result) {
    case PodStoreResult::NoStoredProgram:
    case PodStoreResult::McuTypeDiffers:
    case PodStoreResult::SectionCountDiffers:
    case PodStoreResult::SectionsDiffer:
    case PodStoreResult::ProgramDiffers:
      return OperationOutcome::PodVerifyFailed;
    default:
      return OperationOutcome::PodVerifyReadFailed;
  }
}

// "%.2f sec" of the ticks between the two readings; the counter may wrap between them.
std::string ElapsedText(uint32_t startMs, uint32_t endMs) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f sec", static_cast<double>(endMs - startMs) * 0.001);
  return text;
}

}  // namespace

ProgrammerOperations::ProgrammerOperations(std::unique_ptr<PortDriver> driver, Clock& clock,
                                           OperationsUi& ui, LocalTime localTime)
    : driver_(std::move(driver)),
      clock_(clock),
      ui_(ui),
      localTime_(std::move(localTime)),
      link_(*driver_, clock_) {
  // A stop asked for ends the wait for the POD under way, not only the next step.
  link_.SetStopCheck([this] { return ui_.CancelRequested(); });
}

ProgrammerOperations::~ProgrammerOperations() {
  CloseLink();
  UnloadDriver();
}

bool ProgrammerOperations::LoadDriver(bool showFailure) {
  if (!link_.LoadDriver()) {
    if (showFailure) {
      Error(OperationOutcomeMessage(OperationOutcome::DriverNotLoaded));
    }
    return false;
  }
  return true;
}

bool ProgrammerOperations::FindPod() {
  if (!link_.Find()) {
    Error(OperationOutcomeMessage(OperationOutcome::PodNotFound));
    return false;
  }
  ui_.ShowStatus("Connection to Brontaflex POD is successful", false);
  return true;
}

std::vector<PortDetails> ProgrammerOperations::AttachedPods() {
  std::vector<PortDetails> pods;
  if (LoadDriver(false)) {
    pods = link_.AttachedPods();
  }
  if (pods.empty()) {
    FailWithPortsSeen(OperationOutcome::PodNotFound);
  }
  return pods;
}

void ProgrammerOperations::CloseLink() {
  link_.Close();
}

void ProgrammerOperations::UnloadDriver() {
  link_.UnloadDriver();
}

void ProgrammerOperations::Error(std::string_view text) {
  ui_.ShowStatus(std::string(text), true);
}

OperationOutcome ProgrammerOperations::Fail(OperationOutcome outcome, const FailureCause& cause) {
  return FailWith(OperationOutcomeMessage(outcome), outcome, cause);
}

OperationOutcome ProgrammerOperations::FailWith(std::string_view message, OperationOutcome outcome,
                                                const FailureCause& cause) {
  Error(message);
  // A failure without a known cause shows nothing more.
  if (cause.failed()) {
    ui_.ShowFailureCause(cause);
  }
  return outcome;
}

OperationOutcome ProgrammerOperations::LoadProgramFile(const std::string& path, bool addToRecent,
                                                       McuType mcuTypeSelection) {
  LoadedProgram loaded = LoadProgram(path, mcuTypeSelection, ui_, addToRecent);
  const OperationOutcome outcome = loaded.outcome;
  // A missing file changes nothing.
  if (outcome != OperationOutcome::FileNotFound) {
    UseProgram(std::move(loaded));
  }
  return outcome;
}

void ProgrammerOperations::UseProgram(LoadedProgram loaded) {
  programName_ = std::move(loaded.programName);
  mcuType_ = loaded.mcuType;
  lastReadResult_ = loaded.readResult;
  fileSha256_ = std::move(loaded.fileSha256);
  memoryDigest_ = std::move(loaded.memoryDigest);
  imageLoaded_ = loaded.outcome == OperationOutcome::Done;
  image_ = std::move(loaded.image);
  if (imageLoaded_) {
    imagePath_ = std::move(loaded.path);
  }
  ++loadCount_;
}

OperationOutcome ProgrammerOperations::Load(const std::string& pathText, McuType mcuTypeSelection) {
  const std::string path = TrimBlanks(pathText);
  if (path.empty()) {
    Error("Please, specify COFF file to read");
    return OperationOutcome::NoFileGiven;
  }
  return LoadProgramFile(path, true, mcuTypeSelection);
}

void ProgrammerOperations::ChoosePod(std::string serialNumber, bool refuseSeveral) {
  link_.ChooseSerialNumber(std::move(serialNumber));
  refuseSeveralPods_ = refuseSeveral;
}

OperationOutcome ProgrammerOperations::FailWithPortsSeen(OperationOutcome outcome) {
  Error(OperationOutcomeMessage(outcome));
  ShowWhatWasSeen(driver_->ListPorts());
  return outcome;
}

std::optional<PortDetails> ProgrammerOperations::PodPort() const {
  if (!link_.found()) {
    return std::nullopt;
  }
  for (PortDetails& port : driver_->ListPorts()) {
    if (port.description == PodLink::kPodDescription &&
        (link_.chosenSerialNumber().empty() || port.serialNumber == link_.chosenSerialNumber())) {
      return std::move(port);
    }
  }
  return std::nullopt;
}

void ProgrammerOperations::ShowWhatWasSeen(const std::vector<PortDetails>& ports) {
  std::vector<BackendProbe> passedOver;
  for (const BackendProbe& probe : probes_) {
    if (!probe.used) {
      passedOver.push_back(probe);
    }
  }
  // "Nothing seen" would be false when another backend saw the POD.
  const bool seenElsewhere = std::ranges::any_of(
      passedOver, [](const BackendProbe& probe) { return !probe.ports.empty(); });
  if (!ports.empty() || !seenElsewhere) {
    ui_.ShowPortsSeen(ports);
  }
  if (!passedOver.empty()) {
    ui_.ShowBackendsPassedOver(passedOver);
  }
}

OperationOutcome ProgrammerOperations::ConnectPod() {
  if (link_.isOpen()) {
    return OperationOutcome::Done;
  }
  if (!link_.driverLoaded()) {
    // Why, and where the library was looked for, where the driver can tell.
    FailureCause cause;
    cause.detail = driver_->LoadProblem();
    if (!cause.detail.empty()) {
      cause.kind = FailureKind::NoDriver;
      cause.context = "load the " + driver_->Name() + " driver";
    }
    return Fail(OperationOutcome::DriverNotLoaded, cause);
  }
  if (refuseSeveralPods_ && link_.chosenSerialNumber().empty() && link_.AttachedPods().size() > 1) {
    Error("Several Brontaflex PODs are attached; choose one with " + ui_.HowToChoosePod());
    ShowWhatWasSeen(driver_->ListPorts());
    return OperationOutcome::SeveralPods;
  }
  if (!link_.Find()) {
    return FailWithPortsSeen(OperationOutcome::PodNotFound);
  }
  switch (PodCommands::OpenPod(link_)) {
    case OpenStatus::Ok:
      WarnSlowLatency();
      return OperationOutcome::Done;
    case OpenStatus::PortFailed:
      if (const std::string busy = link_.driver().PortBusy(); !busy.empty()) {
        Error("Port busy: " + busy);
        return OperationOutcome::PortBusy;
      }
      Fail(OperationOutcome::PortFailed, link_.failure());
      ShowWhatWasSeen(link_.AttachedPods());
      return OperationOutcome::PortFailed;
    case OpenStatus::NoAnswer:
      break;
  }
  return Fail(OperationOutcome::PodNoAnswer, link_.failure());
}

void ProgrammerOperations::WarnSlowLatency() {
  if (link_.latencyMs() == 1) {
    return;
  }
  ui_.ShowWarning("the latency timer of the POD's port is " + std::to_string(link_.latencyMs()) +
                  " ms, not 1 ms, so every reply waits that long (" + link_.latencyProblem() +
                  "); " + LatencyFix(InstalledRules()));
}

bool ProgrammerOperations::ReadCsmKeys(const CsmKeyTexts& keyTexts) {
  uint32_t sum = 0;
  for (size_t k = 0; k < csmKeys_.size(); ++k) {
    csmKeys_[k] = ParseKeyText(keyTexts[k]);
    sum += csmKeys_[k];
  }
  return sum != 0;
}

OperationOutcome ProgrammerOperations::EnsureImage(const OperationRequest& request,
                                                   const char* emptyMessage) {
  if (imageLoaded_) {
    if (request.mcuType == mcuType_) {
      return OperationOutcome::Done;
    }
    // Sorted for another device, the sections would be erased, written and
    // reported against the wrong flash.
    return LoadProgramFile(imagePath_, false, request.mcuType);
  }
  const std::string path = TrimBlanks(request.filePath);
  if (path.empty()) {
    Error(emptyMessage);
    return OperationOutcome::NoFileGiven;
  }
  return LoadProgramFile(path, true, request.mcuType);
}

OperationOutcome ProgrammerOperations::CheckPodImage() {
  if (image_->sectionCount() == 0 || image_->imageBytes() == 0) {
    return Fail(OperationOutcome::NoSectionData);
  }
  if (image_->flashSectionCount() > kPodMaxSections) {
    return Fail(OperationOutcome::TooManySections);
  }
  if (image_->flashBytes() > kPodMaxBytes) {
    return Fail(OperationOutcome::DataTooLarge);
  }
  if (!image_->hasFlash()) {
    return Fail(OperationOutcome::NoFlashSection);
  }
  return OperationOutcome::Done;
}

OperationOutcome ProgrammerOperations::CheckSectionsFit(bool flashMode) {
  const std::string outside = SectionOutsideDevice(*image_, mcuType_.info(), flashMode);
  if (outside.empty()) {
    return OperationOutcome::Done;
  }
  Error(outside);
  return OperationOutcome::OutsideDevice;
}

void ProgrammerOperations::WarnSectionsLeftOut() {
  const McuInfo& mcu = mcuType_.info();
  std::string leftOut;
  for (const auto& section : image_->sections) {
    if (section->inFlash) {
      continue;
    }
    const SectionPlace place = PlaceSection(mcu, section->address, section->wordCount);
    const std::string where = place == SectionPlace::Otp ? "OTP"
                              : place == SectionPlace::Ram
                                  ? "RAM"
                                  : "outside the " + std::string(mcu.name) + "'s memory";
    leftOut += (leftOut.empty() ? "" : ", ") + EscapeForDisplay(section->name) + " (" + where + ")";
  }
  if (!leftOut.empty()) {
    ui_.ShowWarning("Not written in flash mode: " + leftOut);
  }
}

void ProgrammerOperations::WarnBootRomStack() {
  for (const auto& section : image_->sections) {
    if (section->wordCount == 0) {
      continue;
    }
    const uint32_t last = section->address + section->wordCount - 1;
    if (section->address > kBootRomStack.last || last < kBootRomStack.first) {
      continue;
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "Section %s at 0x%06X-0x%06X overlaps 0x%06X-0x%06X, the boot ROM's stack "
                  "while it loads the program into RAM (BOOT_RSVD in TI's linker files): the "
                  "download may overwrite the loader that receives it",
                  section->name.c_str(), section->address, last, kBootRomStack.first,
                  kBootRomStack.last);
    ui_.ShowWarning(text);
  }
}

OperationOutcome ProgrammerOperations::TakeCsmKeys(const OperationRequest& request) {
  if (request.useCsm && !ReadCsmKeys(request.keyTexts)) {
    return Fail(OperationOutcome::BadCsmPassword);
  }
  return OperationOutcome::Done;
}

OperationOutcome ProgrammerOperations::RunProcedure(
    const std::function<OperationOutcome()>& procedure, const std::string& doneMessage) {
  ui_.SetBusy(true);
  const uint32_t start = clock_.NowMs();
  OperationOutcome outcome = procedure();
  const uint32_t end = clock_.NowMs();
  if (outcome != OperationOutcome::Done && ui_.CancelRequested()) {
    outcome = OperationOutcome::Interrupted;
  }
  if (outcome == OperationOutcome::Done) {
    ui_.ShowStatus(doneMessage + ElapsedText(start, end), false);
  }
  link_.Close();
  ui_.SetBarPos(0);
  ui_.SetBusy(false);
  return outcome;
}

OperationOutcome ProgrammerOperations::TargetWrite(const OperationRequest& request) {
  csmKeys_ = kErasedCsmKeys;
  if (const auto loaded = EnsureImage(request, "Please, specify COFF file to write target");
      loaded != OperationOutcome::Done) {
    return loaded;
  }
  if (image_->sectionCount() == 0 || image_->imageBytes() == 0) {
    return Fail(OperationOutcome::NoSectionData);
  }
  const bool flashMode = image_->hasFlash();
  if (const auto fits = CheckSectionsFit(flashMode); fits != OperationOutcome::Done) {
    return fits;
  }
  if (const auto keys = TakeCsmKeys(request); keys != OperationOutcome::Done) {
    return keys;
  }
  if (flashMode) {
    WarnSectionsLeftOut();
  } else {
    WarnBootRomStack();
  }
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  return RunProcedure(
      [&] {
        PodCommands commands = Commands();
        TargetProgrammer programmer(commands, *image_, mcuType_, ui_);
        return TargetOutcome(programmer.ProgramTarget(flashMode, request.eraseAll, request.useCsm),
                             programmer.cause());
      },
      "Flash Write Completed - ");
}

OperationOutcome ProgrammerOperations::TargetErase(const OperationRequest& request) {
  csmKeys_ = kErasedCsmKeys;
  if (const auto keys = TakeCsmKeys(request); keys != OperationOutcome::Done) {
    return keys;
  }
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  const McuType mcuType = request.mcuType;
  const uint16_t allSectors = mcuType.info().allSectorsMask;
  const uint16_t sectors = request.eraseAll ? allSectors : request.eraseSectors & allSectors;
  return RunProcedure(
      [&] {
        // The device erased is the one asked for, whatever program is loaded.
        PodCommands commands(link_, {mcuType, csmKeys_});
        TargetProgrammer programmer(commands, *NoProgramImage(), mcuType, ui_);
        return TargetOutcome(programmer.EraseTarget(sectors, request.useCsm), programmer.cause());
      },
      "Flash Erase Completed - ");
}

OperationOutcome ProgrammerOperations::TargetOutcome(TargetWriteResult result,
                                                     const FailureCause& cause) {
  const OperationOutcome outcome = TargetWriteOutcome(result);
  // A stop the user asked for is no failure of the target.
  return outcome == OperationOutcome::Done || ui_.CancelRequested() ? outcome
                                                                    : Fail(outcome, cause);
}

OperationOutcome ProgrammerOperations::StoreOutcome(PodStoreResult result, OperationOutcome failed,
                                                    const FailureCause& cause) {
  if (result == PodStoreResult::Done) {
    return OperationOutcome::Done;
  }
  // A stop the user asked for is no failure of the store.
  return ui_.CancelRequested() ? failed : FailWith(PodStoreMessage(result), failed, cause);
}

PodCommands ProgrammerOperations::Commands() {
  return PodCommands(link_, {mcuType_, csmKeys_});
}

OperationOutcome ProgrammerOperations::TargetReset() {
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  const bool reset = Commands().ResetTarget();
  link_.Close();
  if (!reset) {
    return Fail(OperationOutcome::ResetFailed, link_.failure());
  }
  ui_.ShowStatus("Target board's reset is successful", false);
  return OperationOutcome::Done;
}

OperationOutcome ProgrammerOperations::PodWrite(const OperationRequest& request) {
  csmKeys_ = kErasedCsmKeys;
  if (const auto loaded =
          EnsureImage(request, "Please, specify COFF file to write serial flash in Brontaflex POD");
      loaded != OperationOutcome::Done) {
    return loaded;
  }
  if (const auto checked = CheckPodImage(); checked != OperationOutcome::Done) {
    return checked;
  }
  // Only the flash sections are stored.
  if (const auto fits = CheckSectionsFit(true); fits != OperationOutcome::Done) {
    return fits;
  }
  if (const auto keys = TakeCsmKeys(request); keys != OperationOutcome::Done) {
    return keys;
  }
  WarnSectionsLeftOut();
  const std::string typed = TrimBlanks(request.podFileName);
  podFileName_ = CutToBytes(typed.empty() ? programName_ : typed, PodTag::kNameBytes);
  // A name taken from the file's may hold what no one would type; the POD
  // would keep it and show it to every later reader.
  if (HasControlCharacter(podFileName_)) {
    return Fail(OperationOutcome::BadPodName);
  }
  ui_.ShowPodFileName(podFileName_);
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  return RunProcedure(
      [&] {
        PodCommands commands = Commands();
        PodStore store(commands, *image_, mcuType_, ui_, localTime_);
        const PodStoreResult result =
            store.StorePodImage(request.eraseAll, request.useCsm, podFileName_);
        return StoreOutcome(result, OperationOutcome::PodWriteFailed, store.cause());
      },
      "EEPROM Write Completed - ");
}

OperationOutcome ProgrammerOperations::PodVerify(const OperationRequest& request) {
  if (const auto loaded = EnsureImage(
          request, "Please, specify COFF file to verify serial flash in Brontaflex POD");
      loaded != OperationOutcome::Done) {
    return loaded;
  }
  if (const auto checked = CheckPodImage(); checked != OperationOutcome::Done) {
    return checked;
  }
  // The same refusal as before a write: a copy stored for the device could
  // never hold such a program, so the POD is not asked.
  if (const auto fits = CheckSectionsFit(true); fits != OperationOutcome::Done) {
    return fits;
  }
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  return RunProcedure(
      [&] {
        PodCommands commands = Commands();
        PodStore store(commands, *image_, mcuType_, ui_, localTime_);
        const PodStoreResult result = store.VerifyPodImage();
        return StoreOutcome(result, VerifyOutcome(result), store.cause());
      },
      "EEPROM Verify Completed - ");
}

OperationOutcome ProgrammerOperations::PodInfo() {
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  PodTagInfo tag;
  PodCommands commands = Commands();
  bool read = commands.QueryVersion();
  if (read) {
    PodStore store(commands, *image_, mcuType_, ui_, localTime_);
    read = store.ReadPodTag(tag);
  }
  link_.Close();
  podVersion_ = commands.podVersion();
  podTag_ = read ? tag : PodTagInfo{};
  // A POD that answered without a version it could tell has given nothing to show.
  if (!read || podVersion_ == 0) {
    return Fail(OperationOutcome::PodInfoFailed, link_.failure());
  }
  const int major = podVersion_ / 10;
  const int minor = podVersion_ % 10;
  char text[128];
  if (tag.present()) {
    // The stored name is bytes from the POD, shown so that none of them can act
    // as a command to a terminal.
    const std::string name =
        EscapeForDisplay(tag.name.substr(0, std::min(tag.name.find('\0'), PodTag::kNameBytes)));
    std::snprintf(text, sizeof text,
                  "POD Ver: %d.%d, POD File Name: %s [when %04d.%02d.%02d %02d:%02d]", major, minor,
                  name.c_str(), tag.year, tag.month, tag.day, tag.hour, tag.minute);
  } else {
    std::snprintf(text, sizeof text, "POD Ver: %d.%d, No POD File Data", major, minor);
  }
  ui_.ShowStatus(text, false);
  return OperationOutcome::Done;
}
