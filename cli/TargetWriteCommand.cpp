// brontaflex-cli target-write: programs a COFF file into the target through the POD.
#include <array>

#include "cli/Commands.h"
#include "cli/ExpectedMemory.h"
#include "cli/PodSession.h"

namespace {

const std::array<CliOption, 12> kOptions{
    {kDeviceOption, kExpectOption, kEraseOption, kCsmOption, kDriverOption, kPodOption,
     kAllPodsOption, kTraceOption, kReplaceTraceOption, kJsonOption, kQuietOption, kVerboseOption}};

const std::string kDetails = PodCommandDetails(
    "Reads FILE for the device, connects to the POD and programs the target: the\n"
    "flash sections are erased and programmed, then the target is reset; a program\n"
    "without flash sections goes into the target's RAM instead. Shows the progress\n"
    "and ends with \"Flash Write Completed - \" and the time taken.\n");

int Run(const CliArgs& args) {
  return RunPodOperation("target-write", args,
                         [](ProgrammerOperations& operations, const OperationRequest& request) {
                           return operations.TargetWrite(request);
                         });
}

}  // namespace

const CliCommand kTargetWriteCommand{
    .name = "target-write",
    .operands = "FILE",
    .minOperands = 1,
    .maxOperands = 1,
    .summary = "program FILE into the target's flash (or RAM) through the POD",
    .details = kDetails,
    .options = kOptions,
    .run = Run,
};
