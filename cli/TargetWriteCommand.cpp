// brontaflex-cli target-write: programs a COFF file into the target through the POD.
#include <array>

#include "cli/Commands.h"
#include "cli/ExpectedMemory.h"
#include "cli/PodCommand.h"

namespace {

const std::array<CliOption, 19> kOptions{
    {kDeviceOption, kExpectOption, kEraseOption, kCsmOption, kCsmFileOption, kDriverOption,
     kPodOption, kAllPodsOption, kSerialOption, kSerialStartOption, kSerialStepOption,
     kSerialWidthOption, kSerialCounterOption, kTraceOption, kReplaceTraceOption, kLogOption,
     kJsonOption, kQuietOption, kVerboseOption}};

const std::string kDetails = PodCommandDetails(
    "Reads FILE for the device, connects to the POD and programs the target: the\n"
    "flash sections are erased and programmed, then the target is reset; a program\n"
    "without flash sections goes into the target's RAM instead. Shows the progress\n"
    "and ends with \"Flash Write Completed - \" and the time taken.\n"
    "\n"
    "With --serial, each target gets a number of its own in place of the program's\n"
    "words at ADDR: N for the first, N+K for the next, one for each POD of a run on\n"
    "several. Without --serial-counter the numbers start at N for this run alone.\n"
    "A number whose target is not written (a POD that fails, Ctrl-C) is skipped,\n"
    "never given again. A number without a place in FILE, one too large for its\n"
    "words, or a counter file that cannot give one is refused (64) before any POD\n"
    "is used.\n");

int Run(const CliArgs& args) {
  return RunPodCommand("target-write", args,
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
