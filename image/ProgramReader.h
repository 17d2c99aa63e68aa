// Reads a program file of any format the programmer knows, told apart by its
// content: TI COFF, TI ELF, Intel HEX or TI-TXT, all into the same image.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"

class ProgramImage;

// The format by the first bytes of the stream (and, for TI-TXT without an
// address line first, its last); Unknown for anything else.
ProgramFormat DetectFormat(std::istream& in);

// Reads `path` for the device `mcuType`. Any failure other than the COFF
// reader's early ones leaves the image empty.
ProgramRead ReadProgramFile(const std::filesystem::path& path, McuType mcuType,
                            ProgramImage& image);
ProgramRead ReadProgramStream(std::istream& in, McuType mcuType, ProgramImage& image);
// The same, reading the file whole into memory first and the program from
// there, so that `fileSha256` gets the digest of exactly the bytes the program
// was read from, even when the file is replaced meanwhile (empty when none
// were read). Costs a copy of the file: for the loads that report which file
// they wrote.
ProgramRead ReadProgramFileOnce(const std::filesystem::path& path, McuType mcuType,
                                ProgramImage& image, std::string& fileSha256);

// The outcome's sentence, followed by the detail when there is one; a file
// read whole names its format ("Reading Intel HEX file is successful").
std::string ProgramReadMessage(const ProgramRead& read);
