// brontaflex-cli target-reset: resets the target board through the POD.
#include <array>

#include "cli/Commands.h"
#include "cli/PodCommand.h"

namespace {

const std::array<CliOption, 9> kOptions{{kDriverOption, kPodOption, kAllPodsOption, kTraceOption,
                                         kReplaceTraceOption, kLogOption, kJsonOption, kQuietOption,
                                         kVerboseOption}};

const std::string kDetails =
    PodCommandDetails("Connects to the POD and resets the target board.\n");

int Run(const CliArgs& args) {
  return RunPodCommand("target-reset", args,
                       [](ProgrammerOperations& operations, const OperationRequest&) {
                         return operations.TargetReset();
                       });
}

}  // namespace

const CliCommand kTargetResetCommand{
    .name = "target-reset",
    .operands = "",
    .minOperands = 0,
    .maxOperands = 0,
    .summary = "reset the target board",
    .details = kDetails,
    .options = kOptions,
    .run = Run,
};
