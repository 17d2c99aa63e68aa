// A program file read for one device, held read-only so that the operations on
// several PODs at once can share the one copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/CoffReader.h"
#include "image/ProgramImage.h"
#include "ops/OperationOutcome.h"
#include "ops/OperationsUi.h"

struct LoadedProgram {
  // Done, FileNotFound (nothing was read) or FileNotLoaded (the reader refused it).
  OperationOutcome outcome = OperationOutcome::FileNotFound;
  CoffReadResult readResult = CoffReadResult::Ok;
  // Never null; empty unless the outcome is Done.
  std::shared_ptr<const ProgramImage> image = NoProgramImage();
  std::string path;
  // The file's name without extension, at most 8 bytes.
  std::string programName;
  uint8_t mcuType = kDefaultMcuType;
};

// Reads `path` for the device `mcuTypeSelection` and shows the result on `ui`:
// the reader's message on failure; on success the file goes to the recent list
// when `addToRecent` is set, then "Reading COFF file is successful".
LoadedProgram LoadProgram(const std::string& path, uint8_t mcuTypeSelection, OperationsUi& ui,
                          bool addToRecent);
