// brontaflex-cli pod-write: stores a COFF file in the POD's own serial flash.
#include <array>

#include "cli/Commands.h"
#include "cli/ExpectedMemory.h"
#include "cli/PodCommand.h"

namespace {

const std::array<CliOption, 16> kOptions{
    {kDeviceOption, kExpectOption, kEraseOption, kCsmOption, kCsmFileOption, kNameOption,
     kDriverOption, kPodOption, kAllPodsOption, kTraceOption, kReplaceTraceOption, kLogOption,
     kJsonOption, kQuietOption, kVerboseOption, kSerialRefusedOption}};

const std::string kDetails = PodCommandDetails(
    "Reads FILE for the device and stores its flash sections in the POD's serial\n"
    "flash (EEPROM) with the CSM password, the erase mode and a tag of the name and\n"
    "the date, so that the POD can program targets on its own. Ends with\n"
    "\"EEPROM Write Completed - \" and the time taken.\n");

int Run(const CliArgs& args) {
  return RunPodCommand("pod-write", args,
                       [](ProgrammerOperations& operations, const OperationRequest& request) {
                         return operations.PodWrite(request);
                       });
}

}  // namespace

const CliCommand kPodWriteCommand{
    .name = "pod-write",
    .operands = "FILE",
    .minOperands = 1,
    .maxOperands = 1,
    .summary = "store FILE in the POD's serial flash",
    .details = kDetails,
    .options = kOptions,
    .run = Run,
};
