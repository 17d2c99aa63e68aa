#include "ops/RunLog.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"
#include "ops/FailureText.h"
#include "ops/ProgrammerOperations.h"
#include "ops/Workstation.h"

namespace {

nlohmann::ordered_json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

}  // namespace

RunLogEntry OperationLogEntry(std::string command, OperationOutcome outcome,
                              const ProgrammerOperations& operations, std::string message,
                              const FailureCause& cause, uint64_t durationMs) {
  RunLogEntry entry;
  entry.outcome = OutcomeName(outcome, operations.lastReadResult());
  entry.exitStatus = OutcomeExitStatus(outcome, operations.lastReadResult());
  if (command != "target-reset" && command != "pod-info" && !operations.imagePath().empty()) {
    entry.fileName = operations.imagePath();
    entry.fileSha256 = operations.fileSha256();
    entry.memorySha256 = operations.memoryDigest();
    entry.device = std::string(operations.mcuType().info().name);
  }
  if (const std::optional<PortDetails> port = operations.PodPort()) {
    entry.podSerial = port->serialNumber.empty() ? port->port : port->serialNumber;
  }
  entry.podFirmware = operations.podVersion();
  entry.message = std::move(message);
  entry.cause = cause.failed() ? DescribeFailure(cause) : std::string();
  entry.durationMs = durationMs;
  entry.command = std::move(command);
  return entry;
}

std::string RunLogLine(const RunLogEntry& entry, const std::string& utcTime,
                       const std::string& host, const std::string& user) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(entry.durationMs) / 1000.0);
  const nlohmann::ordered_json line = {
      {"time", utcTime},
      {"host", host},
      {"user", user},
      {"command", entry.command},
      {"file", TextOrNull(entry.fileName)},
      {"fileSha256", TextOrNull(entry.fileSha256)},
      {"memorySha256", TextOrNull(entry.memorySha256)},
      {"device", TextOrNull(entry.device)},
      {"pod", TextOrNull(entry.podSerial)},
      {"podFirmware", entry.podFirmware == 0
                          ? nlohmann::ordered_json(nullptr)
                          : nlohmann::ordered_json(std::to_string(entry.podFirmware / 10) + "." +
                                                   std::to_string(entry.podFirmware % 10))},
      {"outcome", entry.outcome},
      {"exitStatus", entry.exitStatus},
      {"message", entry.message},
      {"cause", TextOrNull(entry.cause)},
      {"seconds", nlohmann::ordered_json::parse(seconds)},
      {"serialNumber", entry.serialNumber ? nlohmann::ordered_json(*entry.serialNumber)
                                          : nlohmann::ordered_json(nullptr)},
  };
  // Bytes that are not UTF-8 (a file name in another encoding) become U+FFFD
  // rather than losing the line.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

RunLog::RunLog(const std::string& path) : path_(path), file_(path) {}

std::string RunLog::error() const {
  return "the log " + path_ + " cannot be written: " + file_.error();
}

std::string RunLog::Write(const RunLogEntry& entry) {
  const std::string failure = file_.Append(RunLogLine(entry, UtcTimeNow(), HostName(), UserName()));
  return failure.empty() ? failure : "the log " + path_ + " cannot be written: " + failure;
}
