#include "ops/LoadedProgram.h"

#include <algorithm>
#include <filesystem>

#include "image/ProgramReader.h"
#include "image/Utf8Path.h"
#include "ops/UserText.h"

LoadedProgram LoadProgram(const std::string& path, uint8_t mcuTypeSelection, OperationsUi& ui,
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
  loaded.mcuType = std::min<uint8_t>(mcuTypeSelection, kMcuTypeCount - 1);

  auto image = std::make_shared<ProgramImage>();
  const ProgramRead read = ReadProgramFile(file, loaded.mcuType, *image);
  loaded.readResult = read.result;
  if (read.result != CoffReadResult::Ok) {
    if (read.result == CoffReadResult::OutOfMemory && !image->allocationError.empty()) {
      ui.ShowAllocationFailure(image->allocationError);
    }
    ui.ShowStatus(ProgramReadMessage(read), true);
    loaded.outcome = OperationOutcome::FileNotLoaded;
    return loaded;
  }
  image->Summarize();
  loaded.image = std::move(image);
  if (addToRecent) {
    ui.AddRecentFile(path);
  }
  ui.ShowStatus("Reading COFF file is successful", false);
  loaded.outcome = OperationOutcome::Done;
  return loaded;
}
