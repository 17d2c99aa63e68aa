#include "cli/UsageError.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/JsonOutput.h"
#include "ops/UserText.h"

int ReportUsageError(std::string_view command, std::string_view why, bool json) {
  const std::string program =
      command.empty() ? "brontaflex-cli" : "brontaflex-cli " + std::string(command);
  // The text may quote an argument, which may hold anything.
  const std::string shown = EscapeForDisplay(why);
  std::cerr << program << ": " << shown << "\nTry '" << program
            << " --help' for more information.\n";
  if (json) {
    std::cout << JsonText(nlohmann::ordered_json{
                     {"command", command.empty() ? nlohmann::ordered_json() : command},
                     {"outcome", "Usage"},
                     {"exitCode", kExitUsage},
                     {"message", shown},
                 })
              << std::endl;
  }
  return kExitUsage;
}

bool AsksForJson(std::span<const std::string_view> args) {
  const auto optionsEnd = std::ranges::find(args, "--");
  return std::find(args.begin(), optionsEnd, "--json") != optionsEnd;
}
