// A program file read for one device, held read-only so that the operations on
// several PODs at once can share the one copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "image/ProgramReadResult.h"
#include "ops/OperationOutcome.h"
#include "ops/OperationsUi.h"

struct LoadedProgram {
  // Done, FileNotFound (nothing was read) or FileNotLoaded (the reader refused it).
  OperationOutcome outcome = OperationOutcome::FileNotFound;
  ProgramReadResult readResult = ProgramReadResult::Ok;
  // Never null; empty unless the outcome is Done.
  std::shared_ptr<const ProgramImage> image = NoProgramImage();
  std::string path;
  // The file's name without extension, at most 8 bytes.
  std::string programName;
  McuType mcuType = kDefaultMcuType;
  // The SHA-256 of the bytes the program was read from; empty when none were read.
  std::string fileSha256;
  // MemoryDigest of the image; empty unless the outcome is Done.
  std::string memoryDigest;
};

// Reads `path` for the device `mcuTypeSelection` and shows the result on `ui`:
// the reader's message on failure; on success the file goes to the recent list
// when `addToRecent` is set, then "Reading COFF file is successful" (or the
// same with the file's own format named, "Reading Intel HEX file ...").
LoadedProgram LoadProgram(const std::string& path, McuType mcuTypeSelection, OperationsUi& ui,
                          bool addToRecent);

// A warning for each section whose data the file ended before, naming it and
// the words missing, which stay erased (0xFFFF).
std::vector<std::string> MissingDataWarnings(const ProgramImage& image);

// Why `image` cannot be written to the device `mcu`: the first section that
// would be sent and lies outside its memory or runs past the end of its flash,
// named; empty when every such section fits. A flash write (`flashMode`)
// sends only the flash sections.
std::string SectionOutsideDevice(const ProgramImage& image, const McuInfo& mcu, bool flashMode);
