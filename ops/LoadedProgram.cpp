#include "ops/LoadedProgram.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "image/MemoryDigest.h"
#include "image/ProgramReader.h"
#include "image/Utf8Path.h"
#include "ops/UserText.h"

LoadedProgram LoadProgram(const std::string& path, McuType mcuTypeSelection, OperationsUi& ui,
                          bool addToRecent) {
  LoadedProgram loaded;
  const std::filesystem::path file = PathFromUtf8(path);
  std::error_code error;
  if (path.empty() || !std::filesystem::exists(file, error)) {
    ui.ShowStatus(std::string(OperationOutcomeMessage(OperationOutcome::FileNotFound)), true);
    return loaded;
  }
  loaded.path = path;
  loaded.programName = ProgramNameFromFileName(Utf8FromPath(file.filename()));
  loaded.mcuType = mcuTypeSelection;

  auto image = std::make_shared<ProgramImage>();
  const ProgramRead read = ReadProgramFileOnce(file, loaded.mcuType, *image, loaded.fileSha256);
  loaded.readResult = read.result;
  if (read.result != ProgramReadResult::Ok) {
    if (read.result == ProgramReadResult::OutOfMemory && !image->allocationError.empty()) {
      ui.ShowAllocationFailure(image->allocationError);
    }
    ui.ShowStatus(ProgramReadMessage(read), true);
    loaded.outcome = OperationOutcome::FileNotLoaded;
    return loaded;
  }
  loaded.memoryDigest = MemoryDigest(*image);
  for (const std::string& warning : MissingDataWarnings(*image)) {
    ui.ShowWarning(warning);
  }
  loaded.image = std::move(image);
  if (addToRecent) {
    ui.AddRecentFile(path);
  }
  ui.ShowStatus(ProgramReadMessage(read), false);
  loaded.outcome = OperationOutcome::Done;
  return loaded;
}

namespace {

// Whether `address` lies in the flash of any F280x device.
bool InFamilyFlash(uint32_t address) {
  return std::ranges::any_of(kMcuCatalogue, [address](const McuInfo& mcu) {
    return address >= mcu.flashFirst && address <= mcu.flashLast;
  });
}

}  // namespace

std::string SectionOutsideDevice(const ProgramImage& image, const McuInfo& mcu, bool flashMode) {
  for (const auto& section : image.sections) {
    // Only what is sent must fit: a flash write leaves every section outside
    // the flash out (with a warning), and no write sends an empty section.
    // Some of TI's linker files emit the boot ROM's vectors (.reset at
    // 0x3FFFC0) beside a flash program. A section where a larger device has
    // its flash is still refused: the program was built for that device, and
    // leaving its code out would be no write of it.
    if (section->wordCount == 0 ||
        (flashMode && !section->inFlash && !InFamilyFlash(section->address))) {
      continue;
    }
    const SectionPlace place = PlaceSection(mcu, section->address, section->wordCount);
    if (place != SectionPlace::Outside && place != SectionPlace::PastFlashEnd) {
      continue;
    }
    char text[160];
    std::snprintf(
        text, sizeof text,
        place == SectionPlace::Outside ? "Section %s at 0x%06X lies outside the memory of the %s"
                                       : "Section %s at 0x%06X runs past the end of the %s's flash",
        EscapeForDisplay(section->name).c_str(), section->address, std::string(mcu.name).c_str());
    return text;
  }
  return {};
}

std::vector<std::string> MissingDataWarnings(const ProgramImage& image) {
  std::vector<std::string> warnings;
  for (const auto& section : image.sections) {
    if (section->wordsMissing > 0) {
      warnings.push_back(
          "Section " + EscapeForDisplay(section->name) +
          " runs past the end of the file: " + std::to_string(section->wordsMissing) + " of " +
          std::to_string(section->wordCount) + " words are missing and stay 0xFFFF");
    }
  }
  return warnings;
}
