// The inputs of one user operation as plain values, gathered by the window from
// its controls or by the command line from its options.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/McuCatalogue.h"

// KEY0..KEY7 as typed: hexadecimal text, trimmed and parsed by ReadCsmKeys.
using CsmKeyTexts = std::array<std::string, 8>;

struct OperationRequest {
  // The File Path text; read only while no image is loaded.
  std::string filePath;
  // The MCU selection; used only when the operation has to load the file.
  McuType mcuType = kDefaultMcuType;
  bool eraseAll = false;
  // Target Erase without eraseAll: the sectors to erase, bit n for sector n.
  uint16_t eraseSectors = 0;
  bool useCsm = false;
  // Read only when useCsm is set.
  CsmKeyTexts keyTexts;
  // The POD File Name text (POD Write only); empty means the program's name.
  std::string podFileName;
};
