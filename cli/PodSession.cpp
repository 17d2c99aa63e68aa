#include "cli/PodSession.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <optional>

#include "app/ops/DriverSelection.h"
#include "app/ops/UserText.h"
#include "cli/TerminalUi.h"
#include "image/McuCatalogue.h"
#include "pod/Clock.h"

#ifdef _WIN32
#include <io.h>
#define BFX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define BFX_ISATTY(fd) isatty(fd)
#endif

namespace {

struct ExitStatus {
  OperationOutcome outcome;
  const char* meaning;
};

constexpr ExitStatus kExitStatuses[] = {
    {OperationOutcome::NoFileGiven, "no COFF file named"},
    {OperationOutcome::FileNotFound, "FILE does not exist"},
    {OperationOutcome::NoSectionData, "FILE holds no section data"},
    {OperationOutcome::TooManySections, "more than 70 flash sections for the POD"},
    {OperationOutcome::DataTooLarge, "more than 524,288 bytes of flash data for the POD"},
    {OperationOutcome::NoFlashSection, "no section in the device's flash for the POD"},
    {OperationOutcome::BadCsmPassword, "CSM keys all 0000"},
    {OperationOutcome::DriverNotLoaded, "the FTDI driver could not be loaded"},
    {OperationOutcome::PodNotFound, "no POD attached"},
    {OperationOutcome::PortFailed, "the POD's port could not be opened"},
    {OperationOutcome::PodNoAnswer, "the POD did not answer"},
    {OperationOutcome::SciBootFailed, "the target's SCI boot did not start"},
    {OperationOutcome::RamDownloadFailed, "the download into the target's RAM failed"},
    {OperationOutcome::ResetFailed, "the target could not be reset"},
    {OperationOutcome::FlashAlgorithmFailed, "the flash algorithm did not load (CSM keys?)"},
    {OperationOutcome::FlashInitFailed, "the target's flash could not be prepared"},
    {OperationOutcome::EraseFailed, "erasing failed"},
    {OperationOutcome::ProgramFailed, "programming failed"},
    {OperationOutcome::PodWriteFailed, "storing the program in the POD failed"},
    {OperationOutcome::PodVerifyFailed, "the POD's copy differs or could not be read"},
    {OperationOutcome::PodInfoFailed, "the POD's information could not be read"},
};

int UsageError(std::string_view command, const std::string& why) {
  std::cerr << "brontaflex-cli " << command << ": " << why << '\n';
  return kExitUsage;
}

bool IsKeyText(const std::string& text) {
  return text.size() <= 4 &&
         std::ranges::all_of(text, [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// "K0,...,K7": eight fields of at most four hexadecimal digits; an empty field
// is the erased word, as an empty key edit is.
std::optional<CsmKeyTexts> ParseCsmKeys(std::string_view text) {
  CsmKeyTexts keys;
  size_t index = 0;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string field = TrimBlanks(text.substr(start, comma - start));
    if (index == keys.size() || !IsKeyText(field)) {
      return std::nullopt;
    }
    keys[index++] = field;
    if (comma == std::string_view::npos) {
      break;
    }
    start = comma + 1;
  }
  if (index != keys.size()) {
    return std::nullopt;
  }
  return keys;
}

}  // namespace

std::string PodCommandDetails(std::string_view description) {
  std::string text(description);
  text += "\nExit status:\n  0   done\n  1-6 the COFF reader refused FILE, as for info\n";
  for (const ExitStatus& status : kExitStatuses) {
    char line[128];
    std::snprintf(line, sizeof line, "  %-3d %s: %s\n", static_cast<int>(status.outcome),
                  std::string(OperationOutcomeName(status.outcome)).c_str(), status.meaning);
    text += line;
  }
  text += "  64  bad usage, or a driver that cannot be set up\n";
  return text;
}

int RunPodOperation(std::string_view command, const CliArgs& args, const PodOperation& operation) {
  OperationRequest request;
  if (!args.operands.empty()) {
    request.filePath = args.operands.front();
  }
  if (const auto device = args.Value("--device")) {
    const auto found = FindMcuType(*device);
    if (!found) {
      return UsageError(command,
                        "unknown device " + *device + " (F2801, F2802, F2806, F2808 or F2809)");
    }
    request.mcuType = *found;
  }
  if (const auto erase = args.Value("--erase")) {
    if (*erase != "intelligent" && *erase != "all") {
      return UsageError(command, "--erase takes intelligent or all, not " + *erase);
    }
    request.eraseAll = *erase == "all";
  }
  if (const auto csm = args.Value("--csm")) {
    const auto keys = ParseCsmKeys(*csm);
    if (!keys) {
      return UsageError(command,
                        "--csm takes eight key words of at most 4 hexadecimal digits, "
                        "separated by commas");
    }
    request.useCsm = true;
    request.keyTexts = *keys;
  }
  request.podFileName = args.Value("--name").value_or("");

  SystemClock clock;
  DriverSelection selection =
      SelectDriver(args.Value("--driver").value_or(DriverNameFromEnvironment()), clock,
                   {EmulatorStatePathFromEnvironment(), request.mcuType});
  if (!selection.driver) {
    return UsageError(command, selection.error);
  }
  TerminalUi ui(std::cout, std::cerr, BFX_ISATTY(1) != 0);
  ProgrammerOperations operations(std::move(selection.driver), clock, ui);
  // A driver that does not load is reported once, by the operation's connect.
  operations.LoadDriver(false);
  const OperationOutcome outcome = operation(operations, request);
  if (outcome == OperationOutcome::FileNotLoaded) {
    return static_cast<int>(operations.lastReadResult());
  }
  return static_cast<int>(outcome);
}
