// Writes the POD reply fuzzer's seeds: every operation of the fuzzer run
// against the emulated POD, each seed the replies the POD gave, write by write,
// so that the fuzzer starts from runs that succeed to their end.
// Usage: pod_reply_seeds OUTPUT_FOLDER
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "emulator/EmulatorDriver.h"
#include "ops/ProgrammerOperations.h"
#include "pod/ForwardingDriver.h"
#include "pod/ForwardingPort.h"
#include "tests/fuzz/PodReplyRuns.h"
#include "tests/fuzz/ReplyScript.h"
#include "tests/support/FakeClock.h"

namespace {

// Passes every call on to the emulated POD and spells what it sent back after
// each write as one reply record.
class ReplyRecorder final : public ForwardingDriver {
 public:
  explicit ReplyRecorder(PortDriver& pod) : ForwardingDriver(pod) {}

  // A new input that runs `run`.
  void Start(const PodReplyRun& run) {
    input_.assign(1, static_cast<char>(run.ToByte()));
    reply_.reset();
  }
  // The input recorded since Start.
  std::string Finish() {
    EndReply();
    return input_;
  }

  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override {
    const PortStatus status = ForwardingDriver::Open(key, port);
    if (port != nullptr) {
      port = std::make_unique<RecordedPort>(std::move(port), *this);
    }
    return status;
  }

 private:
  class RecordedPort final : public ForwardingPort {
   public:
    RecordedPort(std::unique_ptr<Port> inner, ReplyRecorder& recorder)
        : ForwardingPort(std::move(inner)), recorder_(recorder) {}

    PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override {
      recorder_.EndReply();
      recorder_.reply_ = std::make_unique<ReplyRecord>();
      return inner().Write(bytes, length, written);
    }
    PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
      const PortStatus status = inner().Read(buffer, length, returned);
      if (status == kPortOk && recorder_.reply_) {
        recorder_.reply_->bytes.append(static_cast<const char*>(buffer), returned);
      }
      return status;
    }

   private:
    ReplyRecorder& recorder_;
  };

  void EndReply() {
    if (reply_) {
      reply_->AppendTo(input_);
      reply_.reset();
    }
  }

  std::string input_;
  std::unique_ptr<ReplyRecord> reply_;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: pod_reply_seeds OUTPUT_FOLDER\n";
    return 64;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  FakeClock clock;
  EmulatorDriver pod(clock);
  auto owned = std::make_unique<ReplyRecorder>(pod);
  ReplyRecorder& recorder = *owned;
  OutcomeUi ui;
  ProgrammerOperations operations(std::move(owned), clock, ui, FixedLocalTime);
  if (!operations.LoadDriver()) {
    std::cerr << "pod_reply_seeds: the emulated POD does not load\n";
    return 1;
  }
  // A POD write ahead of the verify and the information, so that they find a
  // stored copy to compare and a tag to show.
  using Operation = PodReplyRun::Operation;
  const PodReplyRun runs[] = {
      {Operation::TargetWrite, false, false, false},
      {Operation::TargetWrite, true, false, false},
      {Operation::TargetWrite, false, true, false},
      {Operation::TargetWrite, true, true, false},
      {Operation::TargetWrite, false, false, true},
      {Operation::TargetReset},
      {Operation::PodWrite, false, false, false},
      {Operation::PodVerify},
      {Operation::PodInfo},
      {Operation::PodWrite, true, true, false},
      {Operation::PodVerify, false, true, false},
  };
  for (const PodReplyRun& run : runs) {
    recorder.Start(run);
    if (RunOperation(operations, run) != OperationOutcome::Done) {
      std::cerr << "pod_reply_seeds: " << run.Name() << " failed on the emulated POD\n";
      return 1;
    }
    std::ofstream(folder / run.Name(), std::ios::binary) << recorder.Finish();
  }
  return 0;
}
