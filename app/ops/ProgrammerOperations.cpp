#include "app/ops/ProgrammerOperations.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/ops/UserText.h"
#include "image/CoffReader.h"
#include "pod/TargetProgrammer.h"

namespace {

constexpr char kDriverMissing[] = "Fail to load FTD2XX.DLL";
constexpr char kNoPod[] = "No Connection to Brontaflex POD";
constexpr char kNoSectionData[] = "The selected COFF file don't have valid section data";
constexpr char kPodInfoFailed[] = "Fail to read Brontaflex POD Information";

struct TargetWriteOutcome {
  OperationOutcome outcome;
  const char* message;
};

// Indexed by TargetWriteResult.
constexpr TargetWriteOutcome kTargetWriteOutcomes[] = {
    {OperationOutcome::Done, "Flash Write Completed - "},
    {OperationOutcome::SciBootFailed, "Fail to start SCI boot"},
    {OperationOutcome::RamDownloadFailed, "Fail to download user program"},
    {OperationOutcome::ResetFailed, "Fail to reset target board"},
    {OperationOutcome::FlashAlgorithmFailed, "Fail to download flash algorithm code"},
    {OperationOutcome::FlashInitFailed, "Fail to initialize target board for flash memory write"},
    {OperationOutcome::EraseFailed, "Fail to erase flash memory"},
    {OperationOutcome::ProgramFailed, "Fail to write flash memory"},
};

// "%.2f sec" of the ticks between the two readings; the counter may wrap between them.
std::string ElapsedText(uint32_t startMs, uint32_t endMs) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f sec", static_cast<double>(endMs - startMs) * 0.001);
  return text;
}

}  // namespace

ProgrammerOperations::ProgrammerOperations(std::unique_ptr<FtdiDriver> driver, Clock& clock,
                                           OperationsUi& ui, LocalTime localTime)
    : driver_(std::move(driver)),
      clock_(clock),
      ui_(ui),
      localTime_(std::move(localTime)),
      link_(*driver_, clock_),
      commands_(link_, mcuType_, csmKeys_) {}

ProgrammerOperations::~ProgrammerOperations() {
  CloseLink();
  UnloadDriver();
}

bool ProgrammerOperations::LoadDriver(bool showFailure) {
  if (!link_.LoadDriver()) {
    if (showFailure) {
      Error(kDriverMissing);
    }
    return false;
  }
  return true;
}

bool ProgrammerOperations::FindPod() {
  if (!link_.Find()) {
    Error(kNoPod);
    return false;
  }
  ui_.ShowStatus("Connection to Brontaflex POD is successful", false);
  return true;
}

void ProgrammerOperations::CloseLink() {
  link_.Close();
}

void ProgrammerOperations::UnloadDriver() {
  link_.UnloadDriver();
}

void ProgrammerOperations::Error(const std::string& text) {
  ui_.ShowStatus(text, true);
}

OperationOutcome ProgrammerOperations::LoadCoffFile(const std::string& path, bool addToRecent,
                                                    uint8_t mcuTypeSelection) {
  const std::filesystem::path file(path);
  std::error_code error;
  if (path.empty() || !std::filesystem::exists(file, error)) {
    Error("The specified COFF file isn't exist");
    return OperationOutcome::FileNotFound;
  }
  programName_ = ProgramNameFromFileName(file.filename().string());
  mcuType_ = std::min<uint8_t>(mcuTypeSelection, kMcuTypeCount - 1);

  const CoffReadResult result = ReadCoffFile(file, mcuType_, image_);
  lastReadResult_ = result;
  if (result != CoffReadResult::Ok) {
    if (result == CoffReadResult::OutOfMemory && !image_.allocationError.empty()) {
      ui_.ShowAllocationFailure(image_.allocationError);
    }
    Error(std::string(CoffReadResultMessage(result)));
    image_.Clear();
    imageLoaded_ = false;
    return OperationOutcome::FileNotLoaded;
  }
  image_.Summarize();
  if (addToRecent) {
    ui_.AddRecentFile(path);
  }
  ui_.ShowStatus("Reading COFF file is successful", false);
  imageLoaded_ = true;
  return OperationOutcome::Done;
}

OperationOutcome ProgrammerOperations::Load(const std::string& pathText, uint8_t mcuTypeSelection) {
  const std::string path = TrimBlanks(pathText);
  if (path.empty()) {
    Error("Please, specify COFF file to read");
    return OperationOutcome::NoFileGiven;
  }
  return LoadCoffFile(path, true, mcuTypeSelection);
}

OperationOutcome ProgrammerOperations::ConnectPod() {
  if (link_.isOpen()) {
    return OperationOutcome::Done;
  }
  if (!link_.driverLoaded()) {
    Error(kDriverMissing);
    return OperationOutcome::DriverNotLoaded;
  }
  if (!link_.Find()) {
    Error(kNoPod);
    return OperationOutcome::PodNotFound;
  }
  switch (link_.Open()) {
    case OpenStatus::Ok:
      return OperationOutcome::Done;
    case OpenStatus::PortFailed:
      Error("Fail to open communication port");
      return OperationOutcome::PortFailed;
    case OpenStatus::NoAnswer:
      break;
  }
  Error("Fail to initialize Brontaflex POD");
  return OperationOutcome::PodNoAnswer;
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
    return OperationOutcome::Done;
  }
  const std::string path = TrimBlanks(request.filePath);
  if (path.empty()) {
    Error(emptyMessage);
    return OperationOutcome::NoFileGiven;
  }
  return LoadCoffFile(path, true, request.mcuType);
}

OperationOutcome ProgrammerOperations::CheckPodImage() {
  if (image_.sectionCount == 0 || image_.imageBytes == 0) {
    Error(kNoSectionData);
    return OperationOutcome::NoSectionData;
  }
  if (image_.flashSectionCount > kPodMaxSections) {
    char text[64];
    std::snprintf(text, sizeof text, "The supported section count is to %d",
                  static_cast<int>(kPodMaxSections));
    Error(text);
    return OperationOutcome::TooManySections;
  }
  if (image_.flashBytes > kPodMaxBytes) {
    Error("The data size is bigger than serial flash size in Brontaflex POD");
    return OperationOutcome::DataTooLarge;
  }
  if (!image_.hasFlash) {
    Error("There is no valid section for flash region");
    return OperationOutcome::NoFlashSection;
  }
  return OperationOutcome::Done;
}

OperationOutcome ProgrammerOperations::TakeCsmKeys(const OperationRequest& request) {
  if (request.useCsm && !ReadCsmKeys(request.keyTexts)) {
    Error("CSM Password input is wrong");
    return OperationOutcome::BadCsmPassword;
  }
  return OperationOutcome::Done;
}

OperationOutcome ProgrammerOperations::RunProcedure(
    const std::function<OperationOutcome()>& procedure, const std::string& doneMessage) {
  ui_.SetBusy(true);
  const uint32_t start = clock_.NowMs();
  const OperationOutcome outcome = procedure();
  const uint32_t end = clock_.NowMs();
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
  if (image_.sectionCount == 0 || image_.imageBytes == 0) {
    Error(kNoSectionData);
    return OperationOutcome::NoSectionData;
  }
  const bool flashMode = image_.hasFlash;
  if (const auto keys = TakeCsmKeys(request); keys != OperationOutcome::Done) {
    return keys;
  }
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  return RunProcedure(
      [&] {
        TargetProgrammer programmer(commands_, image_, mcuType_, ui_);
        const auto result = static_cast<size_t>(
            programmer.ProgramTarget(flashMode, request.eraseAll, request.useCsm));
        if (result >= std::size(kTargetWriteOutcomes)) {
          return OperationOutcome::ProgramFailed;
        }
        const TargetWriteOutcome& failure = kTargetWriteOutcomes[result];
        if (failure.outcome != OperationOutcome::Done) {
          Error(failure.message);
        }
        return failure.outcome;
      },
      kTargetWriteOutcomes[0].message);
}

OperationOutcome ProgrammerOperations::TargetReset() {
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  const bool reset = commands_.ResetTarget();
  link_.Close();
  if (!reset) {
    Error(kTargetWriteOutcomes[static_cast<size_t>(TargetWriteResult::ResetFailed)].message);
    return OperationOutcome::ResetFailed;
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
  if (const auto keys = TakeCsmKeys(request); keys != OperationOutcome::Done) {
    return keys;
  }
  const std::string typed = TrimBlanks(request.podFileName);
  podFileName_ = CutToBytes(typed.empty() ? programName_ : typed, PodTag::kNameBytes);
  ui_.ShowPodFileName(podFileName_);
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  return RunProcedure(
      [&] {
        PodStore store(commands_, image_, mcuType_, ui_, localTime_);
        return store.StorePodImage(request.eraseAll, request.useCsm, podFileName_)
                   ? OperationOutcome::Done
                   : OperationOutcome::PodWriteFailed;
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
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  return RunProcedure(
      [&] {
        PodStore store(commands_, image_, mcuType_, ui_, localTime_);
        return store.VerifyPodImage() ? OperationOutcome::Done : OperationOutcome::PodVerifyFailed;
      },
      "EEPROM Verify Completed - ");
}

OperationOutcome ProgrammerOperations::PodInfo() {
  if (const auto connected = ConnectPod(); connected != OperationOutcome::Done) {
    return connected;
  }
  PodTagInfo tag;
  bool read = commands_.QueryVersion();
  if (read) {
    PodStore store(commands_, image_, mcuType_, ui_, localTime_);
    read = store.ReadPodTag(tag);
  }
  link_.Close();
  podVersion_ = commands_.podVersion();
  // A POD that answered without a version it could tell has given nothing to show.
  if (!read || podVersion_ == 0) {
    Error(kPodInfoFailed);
    return OperationOutcome::PodInfoFailed;
  }
  const int major = podVersion_ / 10;
  const int minor = podVersion_ % 10;
  char text[128];
  if (tag.present()) {
    const std::string name = tag.name.substr(0, std::min(tag.name.find('\0'), PodTag::kNameBytes));
    std::snprintf(text, sizeof text,
                  "POD Ver: %d.%d, POD File Name: %s [when %04d.%02d.%02d %02d:%02d]", major, minor,
                  name.c_str(), tag.year, tag.month, tag.day, tag.hour, tag.minute);
  } else {
    std::snprintf(text, sizeof text, "POD Ver: %d.%d, No POD File Data", major, minor);
  }
  ui_.ShowStatus(text, false);
  return OperationOutcome::Done;
}
