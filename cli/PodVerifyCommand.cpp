// brontaflex-cli pod-verify: compares the POD's stored copy with a COFF file.
#include <array>

#include "cli/Commands.h"
#include "cli/ExpectedMemory.h"
#include "cli/PodCommand.h"

namespace {

const std::array<CliOption, 11> kOptions{{kDeviceOption, kExpectOption, kDriverOption, kPodOption,
                                          kAllPodsOption, kTraceOption, kReplaceTraceOption,
                                          kLogOption, kJsonOption, kQuietOption, kVerboseOption}};

const std::string kDetails = PodCommandDetails(
    "Reads FILE for the device and compares it with the program stored in the POD:\n"
    "device type, number of sections, section table and data. Ends with\n"
    "\"EEPROM Verify Completed - \" and the time taken, or with the first difference.\n");

int Run(const CliArgs& args) {
  return RunPodCommand("pod-verify", args,
                       [](ProgrammerOperations& operations, const OperationRequest& request) {
                         return operations.PodVerify(request);
                       });
}

}  // namespace

const CliCommand kPodVerifyCommand{
    .name = "pod-verify",
    .operands = "FILE",
    .minOperands = 1,
    .maxOperands = 1,
    .summary = "compare the POD's stored program with FILE",
    .details = kDetails,
    .options = kOptions,
    .run = Run,
};
