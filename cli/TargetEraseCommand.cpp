// brontaflex-cli target-erase: erases the target's flash through the POD,
// without programming it.
#include <array>

#include "cli/Commands.h"
#include "cli/PodCommand.h"

namespace {

const std::array<CliOption, 13> kOptions{{kDeviceOption, kSectorsToEraseOption, kCsmOption,
                                          kCsmFileOption, kDriverOption, kPodOption, kAllPodsOption,
                                          kTraceOption, kReplaceTraceOption, kLogOption,
                                          kJsonOption, kQuietOption, kVerboseOption}};

const std::string kDetails = PodCommandDetails(
    "Connects to the POD and erases the target's flash as a write starts: the SCI\n"
    "boot, the flash algorithm, the erase of every sector asked for (all of them\n"
    "unless --erase names some: A to D on the F2801 to F2808, A to H on the\n"
    "F2809), then the reset that ends a write. Nothing is programmed and no file\n"
    "is read. Erased sectors read 0xFFFF; an erased password leaves the part\n"
    "unsecured. Ends with \"Flash Erase Completed - \" and the time taken.\n");

int Run(const CliArgs& args) {
  return RunPodCommand("target-erase", args,
                       [](ProgrammerOperations& operations, const OperationRequest& request) {
                         return operations.TargetErase(request);
                       });
}

}  // namespace

const CliCommand kTargetEraseCommand{
    .name = "target-erase",
    .operands = "",
    .minOperands = 0,
    .maxOperands = 0,
    .summary = "erase the target's flash (all of it, or the sectors named) without programming",
    .details = kDetails,
    .options = kOptions,
    .run = Run,
};
