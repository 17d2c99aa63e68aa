#include "tests/fuzz/PodReplyRuns.h"

#include <memory>
#include <sstream>
#include <vector>

#include "image/CoffReader.h"
#include "ops/LoadedProgram.h"
#include "tests/support/CoffWriter.h"

namespace {

constexpr uint8_t kEraseAll = 0x08;
constexpr uint8_t kUseCsm = 0x10;
constexpr uint8_t kRamProgram = 0x20;

std::vector<uint16_t> Words(uint32_t count, uint16_t seed) {
  std::vector<uint16_t> words(count);
  for (uint32_t i = 0; i < count; ++i) {
    words[i] = static_cast<uint16_t>(seed + 0x0101 * i);
  }
  return words;
}

// `coff` read for the F2808 as a Load reads it.
LoadedProgram Read(const CoffWriter& coff, std::string name) {
  const std::vector<uint8_t> bytes = coff.Build();
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  auto image = std::make_shared<ProgramImage>();
  LoadedProgram loaded;
  loaded.readResult = ReadCoffStream(in, kF2808, *image);
  loaded.outcome = OperationOutcome::Done;
  loaded.image = std::move(image);
  loaded.path = name + ".out";
  loaded.programName = std::move(name);
  loaded.mcuType = kF2808;
  return loaded;
}

// Flash sections in two sectors, a chunk long enough to be split, and a RAM
// section that a flash write leaves out.
const LoadedProgram& FlashProgram() {
  static const LoadedProgram program =
      Read(CoffWriter()
               .Add(".text", 0x3F4000, Words(300, 0x1234))
               .Add(".econst", 0x3F0000, Words(40, 0x5A01))
               .Add("codestart", 0x3F7FF6, {0x007F, 0x4000})
               .Add("calib_ram", 0x9000, Words(8, 0x0F0F), kCoffData),
           "fuzzprog");
  return program;
}

// RAM sections only: the boot stream, one section longer than a boot block.
const LoadedProgram& RamProgram() {
  static const LoadedProgram program = Read(CoffWriter()
                                                .Add(".text", 0x8000, Words(250, 0x4321))
                                                .Add(".data", 0x9000, Words(12, 0x00A5), kCoffData),
                                            "fuzzram");
  return program;
}

}  // namespace

PodReplyRun PodReplyRun::FromByte(uint8_t byte) {
  PodReplyRun run;
  run.operation = static_cast<Operation>((byte & 0x07) % kOperationCount);
  run.eraseAll = (byte & kEraseAll) != 0;
  run.useCsm = (byte & kUseCsm) != 0;
  run.ramProgram = (byte & kRamProgram) != 0;
  return run;
}

uint8_t PodReplyRun::ToByte() const {
  return static_cast<uint8_t>(static_cast<uint8_t>(operation) | (eraseAll ? kEraseAll : 0) |
                              (useCsm ? kUseCsm : 0) | (ramProgram ? kRamProgram : 0));
}

std::string PodReplyRun::Name() const {
  static constexpr const char* kNames[] = {"target-write", "target-reset", "pod-write",
                                           "pod-verify", "pod-info"};
  std::string name = kNames[static_cast<uint8_t>(operation)];
  name += ramProgram ? "-ram" : "";
  name += eraseAll ? "-all" : "";
  name += useCsm ? "-csm" : "";
  return name;
}

std::tm FixedLocalTime() {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11;
  time.tm_mday = 11;
  time.tm_hour = 6;
  time.tm_min = 30;
  return time;
}

OperationOutcome RunOperation(ProgrammerOperations& operations, const PodReplyRun& run) {
  operations.UseProgram(run.ramProgram ? RamProgram() : FlashProgram());
  OperationRequest request;
  request.mcuType = kF2808;
  request.eraseAll = run.eraseAll;
  request.useCsm = run.useCsm;
  request.keyTexts = {"1234", "5678", "9ABC", "DEF0", "0FED", "CBA9", "8765", "4321"};
  switch (run.operation) {
    case PodReplyRun::Operation::TargetWrite:
      return operations.TargetWrite(request);
    case PodReplyRun::Operation::TargetReset:
      return operations.TargetReset();
    case PodReplyRun::Operation::PodWrite:
      return operations.PodWrite(request);
    case PodReplyRun::Operation::PodVerify:
      return operations.PodVerify(request);
    case PodReplyRun::Operation::PodInfo:
      return operations.PodInfo();
  }
  return OperationOutcome::Done;
}
