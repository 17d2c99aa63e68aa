// brontaflex-cli pod-info: shows the POD's firmware version and stored program.
#include <array>

#include "cli/Commands.h"
#include "cli/PodCommand.h"

namespace {

const std::array<CliOption, 9> kOptions{{kDriverOption, kPodOption, kAllPodsOption, kTraceOption,
                                         kReplaceTraceOption, kLogOption, kJsonOption, kQuietOption,
                                         kVerboseOption}};

const std::string kDetails = PodCommandDetails(
    "Connects to the POD and shows its firmware version and the name and date of\n"
    "the program it stores: \"POD Ver: 1.1, POD File Name: NAME [when YYYY.MM.DD hh:mm]\"\n"
    "or \"POD Ver: 1.1, No POD File Data\".\n");

int Run(const CliArgs& args) {
  return RunPodCommand("pod-info", args,
                       [](ProgrammerOperations& operations, const OperationRequest&) {
                         return operations.PodInfo();
                       });
}

}  // namespace

const CliCommand kPodInfoCommand{
    .name = "pod-info",
    .operands = "",
    .minOperands = 0,
    .maxOperands = 0,
    .summary = "show the POD's firmware version and stored program",
    .details = kDetails,
    .options = kOptions,
    .run = Run,
};
