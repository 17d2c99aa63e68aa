#include "cli/PodCommandOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iostream>

#include "cli/CsmKeys.h"
#include "cli/ExpectedMemory.h"
#include "image/ImageBuilder.h"
#include "image/McuCatalogue.h"
#include "ops/OperationOutcome.h"
#include "ops/UserText.h"

namespace {

// target-erase's --erase: "all", or the letters of sectors of `mcu` separated
// by commas ("A,C"), in either case.
bool ReadSectorsToErase(std::string_view text, const McuInfo& mcu, OperationRequest& request) {
  if (text == "all") {
    request.eraseAll = true;
    return true;
  }
  request.eraseSectors = 0;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string field = TrimBlanks(text.substr(start, comma - start));
    const int sector =
        field.size() == 1 ? std::toupper(static_cast<unsigned char>(field[0])) - 'A' : -1;
    if (sector < 0 || sector >= mcu.sectorCount) {
      return false;
    }
    request.eraseSectors |= static_cast<uint16_t>(1u << sector);
    if (comma == std::string_view::npos) {
      return true;
    }
    start = comma + 1;
  }
}

// --erase into `request`: the sectors to erase for target-erase, the erase
// mode for the commands that write; false, with `error` saying why, for a
// value the command does not take.
bool ReadErase(std::string_view command, const CliArgs& args, OperationRequest& request,
               std::string& error) {
  if (command == "target-erase") {
    const McuInfo& mcu = request.mcuType.info();
    const std::string erase = args.Value("--erase").value_or("all");
    if (!ReadSectorsToErase(erase, mcu, request)) {
      const char lastSector = static_cast<char>('A' + mcu.sectorCount - 1);
      error = "--erase takes all or sector letters of the " + std::string(mcu.name) + " (A to " +
              lastSector + ") separated by commas, not " + erase;
      return false;
    }
  } else if (const auto erase = args.Value("--erase")) {
    if (*erase != "intelligent" && *erase != "all") {
      error = "--erase takes intelligent or all, not " + *erase;
      return false;
    }
    request.eraseAll = *erase == "all";
  }
  return true;
}

// The operation request the options of `command` make: the file, device,
// erase, CSM keys and POD file name. None, with `error` saying why, when one
// of them is wrong.
std::optional<OperationRequest> ReadRequest(std::string_view command, const CliArgs& args,
                                            std::string& error) {
  OperationRequest request;
  if (!args.operands.empty()) {
    request.filePath = args.operands.front();
  }
  const std::optional<McuType> device = ReadDeviceOption(args, error);
  if (!device) {
    return std::nullopt;
  }
  request.mcuType = *device;
  if (!ReadErase(command, args, request, error)) {
    return std::nullopt;
  }
  if (const std::optional<CsmKeyTexts> keys = ChosenCsmKeys(args, error)) {
    request.useCsm = true;
    request.keyTexts = *keys;
  } else if (!error.empty()) {
    return std::nullopt;
  }
  if (args.Has("--csm")) {
    std::cerr << kCsmOnCommandLineWarning << std::endl;
  }
  request.podFileName = args.Value("--name").value_or("");
  if (HasControlCharacter(request.podFileName)) {
    error = "--name takes text without control characters";
    return std::nullopt;
  }
  return request;
}

// A number as typed: decimal, or hexadecimal after 0x; with `hex`,
// hexadecimal with or without the 0x. None for anything else or above `largest`.
std::optional<uint64_t> ParseNumber(std::string_view text, bool hex, uint64_t largest) {
  const bool prefixed = text.starts_with("0x") || text.starts_with("0X");
  if (prefixed) {
    text.remove_prefix(2);
  }
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value, hex || prefixed ? 16 : 10);
  if (text.empty() || error != std::errc() || at != end || value > largest) {
    return std::nullopt;
  }
  return value;
}

// --serial and the options that go with it: none when it is not given; a
// usage error's text in `error` when they do not make sense together.
std::optional<SerialNumbering> SerialNumberingOf(const CliArgs& args, std::string& error) {
  const auto address = args.Value("--serial");
  if (!address) {
    for (const CliOption& option :
         {kSerialStartOption, kSerialStepOption, kSerialWidthOption, kSerialCounterOption}) {
      if (args.Has(option.name)) {
        error = std::string(option.name) + " needs --serial ADDR";
      }
    }
    return std::nullopt;
  }
  SerialNumbering numbering;
  const std::string width = args.Value("--serial-width").value_or("1");
  if (width != "1" && width != "2") {
    error = "--serial-width takes 1 or 2, not " + width;
    return std::nullopt;
  }
  numbering.width = width == "1" ? 1 : 2;
  const auto first = ParseNumber(*address, true, kC28xAddressWords - numbering.width);
  if (!first) {
    error = "--serial takes a word address in hexadecimal (such as 0x3F4000), not " + *address;
    return std::nullopt;
  }
  numbering.address = static_cast<uint32_t>(*first);
  const auto startText = args.Value("--serial-start");
  const auto start =
      startText ? ParseNumber(*startText, false, LargestSerialNumber(2)) : std::nullopt;
  if (!start) {
    error = startText
                ? "--serial-start takes a number, decimal or 0x hexadecimal, not " + *startText
                : "--serial needs --serial-start N, the first number";
    return std::nullopt;
  }
  numbering.start = *start;
  if (numbering.start > LargestSerialNumber(numbering.width)) {
    error = "--serial-start " + *startText + " does not fit in 1 word (at most 65535); " +
            "--serial-width 2 holds up to 4294967295";
    return std::nullopt;
  }
  const std::string stepText = args.Value("--serial-step").value_or("1");
  const auto step = ParseNumber(stepText, false, LargestSerialNumber(2));
  if (!step || *step == 0) {
    error = "--serial-step takes a number from 1 on, not " + stepText;
    return std::nullopt;
  }
  numbering.step = *step;
  numbering.counterPath = args.Value("--serial-counter").value_or("");
  return numbering;
}

Verbosity VerbosityOf(const CliArgs& args) {
  if (args.Has("--quiet")) {
    return Verbosity::Quiet;
  }
  return args.Has("--verbose") ? Verbosity::Verbose : Verbosity::Normal;
}

}  // namespace

std::optional<PodCommandOptions> ReadPodCommandOptions(std::string_view command,
                                                       const CliArgs& args, std::string& error) {
  if (args.Has("--quiet") && args.Has("--verbose")) {
    error = "--quiet and --verbose cannot be used together";
    return std::nullopt;
  }
  std::optional<OperationRequest> request = ReadRequest(command, args, error);
  if (!request) {
    return std::nullopt;
  }
  PodCommandOptions options{.request = std::move(*request),
                            .serial = std::nullopt,
                            .expectedMemory = args.Value("--expect"),
                            .allPods = args.Has("--all-pods"),
                            .json = args.Has("--json"),
                            .verbosity = VerbosityOf(args)};
  if (options.expectedMemory && !IsMemoryDigestText(*options.expectedMemory)) {
    error = "--expect takes a memory digest of 64 hexadecimal digits, as info shows it";
    return std::nullopt;
  }
  if (options.allPods && args.Has("--pod")) {
    error = "--pod and --all-pods cannot be used together";
    return std::nullopt;
  }
  if (command == "pod-write" && args.Has("--serial")) {
    error =
        "--serial is refused: the POD copies one program to every target it programs, so "
        "each could not get a number of its own; number targets with target-write";
    return std::nullopt;
  }
  options.serial = SerialNumberingOf(args, error);
  if (!error.empty()) {
    return std::nullopt;
  }
  return options;
}

std::string PodCommandDetails(std::string_view description) {
  std::string text(description);
  text += "\nExit status:\n";
  text += ExitStatusLine(FindOutcomeRow(kOperationOutcomes, OperationOutcome::Done));
  // A refused file exits with the reader's own code, so FileNotLoaded stands
  // for all of them.
  const ProgramReadResult lastReadResult =
      std::ranges::max(kProgramReadOutcomes, {}, &OutcomeRow<ProgramReadResult>::outcome).outcome;
  text +=
      ExitStatusLine("1-" + std::to_string(static_cast<int>(lastReadResult)),
                     FindOutcomeRow(kOperationOutcomes, OperationOutcome::FileNotLoaded).meaning);
  for (const auto& row : kOperationOutcomes) {
    if (row.outcome != OperationOutcome::Done && row.outcome != OperationOutcome::FileNotLoaded) {
      text += ExitStatusLine(row);
    }
  }
  text +=
      ExitStatusLine(std::to_string(kExitUsage), "bad usage, or a driver that cannot be set up");
  text += ExitStatusLine(std::to_string(kExitOutputError),
                         "the output, the trace or the log could not be written whole");
  return text;
}
