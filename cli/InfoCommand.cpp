// brontaflex-cli info: reads a program file the way the Load button does and
// shows its format, the sections kept, their checksums and the totals, as
// text or as one JSON object.
#include <array>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "cli/Commands.h"
#include "cli/DeviceOption.h"
#include "cli/ExpectedMemory.h"
#include "cli/JsonOutput.h"
#include "cli/UsageError.h"
#include "image/McuCatalogue.h"
#include "image/MemoryDigest.h"
#include "image/ProgramImage.h"
#include "image/ProgramReader.h"
#include "image/Sha256.h"
#include "image/Utf8Path.h"
#include "ops/LoadedProgram.h"
#include "ops/OperationOutcome.h"
#include "ops/UserText.h"

namespace {

const std::array<CliOption, 3> kOptions{{
    kDeviceOption,
    kExpectOption,
    {"--json", "", "print one JSON object with the image's own field names"},
}};

std::string Hex(uint32_t value, int digits) {
  std::ostringstream out;
  out << "0x" << std::uppercase << std::hex << std::setw(digits) << std::setfill('0') << value;
  return out.str();
}

// Where the section goes on `mcu`: a flash write leaves out all but "flash".
std::string MemoryLabel(const McuInfo& mcu, const ImageSection& section) {
  switch (PlaceSection(mcu, section.address, section.wordCount)) {
    case SectionPlace::Flash:
      return "flash";
    case SectionPlace::Ram:
      return "RAM (not written in flash mode)";
    case SectionPlace::Otp:
      return "OTP (not written in flash mode)";
    case SectionPlace::Outside:
    case SectionPlace::PastFlashEnd:
      break;
  }
  return "outside " + std::string(mcu.name);
}

void PrintText(const McuInfo& mcu, const ProgramImage& image) {
  size_t nameWidth = 4;
  for (const auto& section : image.sections) {
    nameWidth = std::max(nameWidth, EscapeForDisplay(section->name).size());
  }
  if (!image.sections.empty()) {
    std::cout << '\n'
              << std::left << std::setw(4) << "#" << std::setw(static_cast<int>(nameWidth) + 2)
              << "name" << std::setw(10) << "address" << std::setw(10) << "words" << std::setw(9)
              << "sectors" << std::setw(66) << "sha256"
              << "memory\n";
  }
  int number = 1;
  for (const auto& section : image.sections) {
    std::cout << std::left << std::setw(4) << number++ << std::setw(static_cast<int>(nameWidth) + 2)
              << EscapeForDisplay(section->name) << std::setw(10) << Hex(section->address, 6)
              << std::setw(10) << section->wordCount << std::setw(9)
              << (section->inFlash ? Hex(section->sectorMask, 2) : "-") << std::setw(66)
              << SectionSha256(*section) << MemoryLabel(mcu, *section) << '\n';
  }
  std::cout << '\n'
            << "sectionCount       " << image.sectionCount() << '\n'
            << "imageBytes         " << image.imageBytes() << '\n'
            << "flashSectionCount  " << image.flashSectionCount() << '\n'
            << "flashBytes         " << image.flashBytes() << '\n'
            << "ramSectionCount    " << image.ramSectionCount() << '\n'
            << "ramBytes           " << image.ramBytes() << '\n'
            << "flashSectorMask    " << Hex(image.flashSectorMask(), 2) << '\n'
            << "flashListEnd       " << image.flashListEnd() << '\n'
            << "imageSha256        " << ImageSha256(image) << '\n'
            << "memoryDigest       " << MemoryDigest(image) << '\n';
}

// How the run ended for a script: the reader's outcome, or OutsideDevice when
// a device was named that the file does not fit, which every write refuses.
struct InfoOutcome {
  std::string_view name;
  int exitCode;
};

void PrintInfoJson(const ProgramRead& read, const InfoOutcome& outcome, const McuInfo& mcu,
                   const ProgramImage& image) {
  nlohmann::json sections = nlohmann::json::array();
  for (const auto& section : image.sections) {
    sections.push_back({
        {"name", Latin1String(section->name)},
        {"address", section->address},
        {"wordCount", section->wordCount},
        {"offset", section->offset},
        {"inFlash", section->inFlash},
        {"sectorMask", section->sectorMask},
        {"memory", MemoryLabel(mcu, *section)},
        {"sha256", SectionSha256(*section)},
    });
  }
  std::cout << JsonText(nlohmann::json{
                   {"command", "info"},
                   {"outcome", outcome.name},
                   {"exitCode", outcome.exitCode},
                   {"result", ProgramReadResultName(read.result)},
                   {"message", Latin1String(ProgramReadMessage(read))},
                   {"format", ProgramFormatName(read.format)},
                   {"device", mcu.name},
                   {"sections", sections},
                   {"sectionCount", image.sectionCount()},
                   {"imageBytes", image.imageBytes()},
                   {"hasFlash", image.hasFlash()},
                   {"flashSectorMask", image.flashSectorMask()},
                   {"flashSectionCount", image.flashSectionCount()},
                   {"flashListEnd", image.flashListEnd()},
                   {"flashBytes", image.flashBytes()},
                   {"ramSectionCount", image.ramSectionCount()},
                   {"ramBytes", image.ramBytes()},
                   {"imageSha256", ImageSha256(image)},
                   {"memoryDigest", MemoryDigest(image)},
               })
            << '\n';
}

// Why a file read whole is refused, when it is: not the file --expect names,
// or, with a device named, a section that device's memory cannot hold.
struct InfoRefusal {
  OperationOutcome outcome = OperationOutcome::Done;
  std::string why;
};

InfoRefusal RefusalOf(const CliArgs& args, const std::optional<std::string>& expectedMemory,
                      const McuInfo& mcu, const ProgramImage& image) {
  if (std::string unexpected = UnexpectedMemory(expectedMemory, MemoryDigest(image));
      !unexpected.empty()) {
    return {OperationOutcome::UnexpectedImage, std::move(unexpected)};
  }
  // Only a device named is a question of fit: the default one is no promise.
  // What is sent is what target-write sends: the flash sections of a program
  // that has any.
  if (std::string outside =
          args.Has("--device") ? SectionOutsideDevice(image, mcu, image.hasFlash()) : "";
      !outside.empty()) {
    return {OperationOutcome::OutsideDevice, std::move(outside)};
  }
  return {};
}

int RunInfo(const CliArgs& args) {
  const bool json = args.Has("--json");
  std::string deviceError;
  const std::optional<McuType> device = ReadDeviceOption(args, deviceError);
  if (!device) {
    return ReportUsageError("info", deviceError, json);
  }
  const McuType mcuType = *device;
  const std::optional<std::string> expectedMemory = args.Value("--expect");
  if (expectedMemory && !IsMemoryDigestText(*expectedMemory)) {
    return ReportUsageError(
        "info", "--expect takes a memory digest of 64 hexadecimal digits, as info shows it", json);
  }
  const McuInfo& mcu = mcuType.info();
  ProgramImage image;
  const ProgramRead read = ReadProgramFile(PathFromUtf8(args.operands[0]), mcuType, image);
  if (read.result == ProgramReadResult::Ok) {
    for (const std::string& warning : MissingDataWarnings(image)) {
      std::cerr << "warning: " << warning << '\n';
    }
  } else {
    image.Clear();
  }
  if (!image.allocationError.empty()) {
    std::cerr << image.allocationError << '\n';
  }
  InfoOutcome outcome{ProgramReadResultName(read.result), static_cast<int>(read.result)};
  InfoRefusal refusal;
  if (read.result == ProgramReadResult::Ok) {
    refusal = RefusalOf(args, expectedMemory, mcu, image);
    outcome = {FindOutcomeRow(kOperationOutcomes, refusal.outcome).name,
               static_cast<int>(refusal.outcome)};
  }
  if (json) {
    PrintInfoJson(read, outcome, mcu, image);
  } else if (read.result == ProgramReadResult::Ok) {
    std::cout << ProgramReadMessage(read) << "\nFormat: " << ProgramFormatName(read.format)
              << "\nDevice: " << mcu.name << '\n';
    PrintText(mcu, image);
  } else {
    std::cerr << ProgramReadMessage(read) << '\n';
  }
  if (!refusal.why.empty()) {
    std::cout.flush();
    std::cerr << refusal.why << '\n';
  }
  return outcome.exitCode;
}

std::string InfoDetails() {
  std::string text =
      "FILE is a TI COFF or TI ELF executable for the C28x, or the hex utility's\n"
      "Intel HEX (16-bit memory and ROM width) or TI-TXT output, told apart by\n"
      "content. Prints the outcome of reading it, its format, one line per section\n"
      "kept (name, word address, word count, flash sectors touched, SHA-256 of its\n"
      "words, and where it lies on the device: flash, RAM or OTP, which a flash\n"
      "write leaves out, or outside the device, which the writes refuse) and the\n"
      "totals with the SHA-256 of the whole image. A checksum takes each word as\n"
      "two bytes, high byte first, and the image's takes the sections in the order\n"
      "listed. The memory digest is what a write puts into the target, whatever\n"
      "the format: a SHA-256 over each word sent, in address order, as its word\n"
      "address in 4 bytes and its value in 2, little-endian; the flash sections'\n"
      "words of a program that has any, else every section's. --expect takes it.\n"
      "With --device, a section outside that device's memory is also an error\n"
      "(after the table), so a script can check a file before a write.\n"
      "With --json the same comes as one JSON object: command, outcome and\n"
      "exitCode as in the other commands' objects, then fields named as in the\n"
      "program image: result, message, format, device, sections (name,\n"
      "address, wordCount, offset, inFlash, sectorMask, memory, sha256),\n"
      "sectionCount, imageBytes, hasFlash, flashSectorMask, flashSectionCount,\n"
      "flashListEnd, flashBytes, ramSectionCount, ramBytes, imageSha256,\n"
      "memoryDigest.\n\n"
      "Exit status:\n";
  for (const auto& row : kProgramReadOutcomes) {
    text += ExitStatusLine(row);
  }
  text += ExitStatusLine(FindOutcomeRow(kOperationOutcomes, OperationOutcome::OutsideDevice));
  text += ExitStatusLine(FindOutcomeRow(kOperationOutcomes, OperationOutcome::UnexpectedImage));
  text += ExitStatusLine(std::to_string(kExitUsage), "bad usage");
  text += ExitStatusLine(std::to_string(kExitOutputError), "the output could not be written");
  return text;
}

const std::string kDetails = InfoDetails();

}  // namespace

const CliCommand kInfoCommand{
    .name = "info",
    .operands = "FILE",
    .minOperands = 1,
    .maxOperands = 1,
    .summary = "read a program file and show the sections kept for a device and the totals",
    .details = kDetails,
    .options = kOptions,
    .run = RunInfo,
};
