#include "cli/RunReport.h"

#include <cstdio>

#include "image/McuCatalogue.h"
#include "image/ProgramReadResult.h"
#include "image/Sha256.h"
#include "image/Utf8Path.h"
#include "ops/FailureText.h"

namespace {

// How many words the operation put into the target or the POD.
uint64_t WordsWritten(std::string_view command, OperationOutcome outcome,
                      const ProgramImage& image) {
  if (outcome != OperationOutcome::Done) {
    return 0;
  }
  if (command == "target-write") {
    return image.hasFlash() ? image.flashBytes() / 2 : image.ramBytes() / 2;
  }
  return command == "pod-write" ? image.flashBytes() / 2 : 0;
}

std::string DateText(const PodTagInfo& tag) {
  if (!tag.present()) {
    return {};
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", tag.year, tag.month, tag.day,
                tag.hour, tag.minute);
  return text;
}

nlohmann::ordered_json CauseJson(const FailureCause& cause) {
  if (!cause.failed()) {
    return nullptr;
  }
  return {
      {"kind", FailureKindName(cause.kind)},
      {"context", cause.context},
      {"frame", cause.frame == 0 ? std::string() : std::string(1, cause.frame)},
      {"sending", cause.sending},
      {"driverStatus", cause.status},
      {"bytesSeen", cause.bytesSeen},
      {"bytesDue", cause.bytesDue},
      {"elapsedMs", cause.elapsedMs},
      {"text", DescribeFailure(cause)},
      {"detail", cause.detail},
  };
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

// The file fields: the file as named, the device it was read for, and the
// digests of what was read.
void NoteFile(RunReport& report, const std::string& filePath, McuType mcuType,
              std::string fileSha256, std::string memoryDigest) {
  if (filePath.empty()) {
    return;
  }
  report.filePath = filePath;
  report.device = std::string(mcuType.info().name);
  report.fileSha256 = std::move(fileSha256);
  report.memoryDigest = std::move(memoryDigest);
}

}  // namespace

RunReport MakeRunReport(std::string command, const std::string& filePath, OperationOutcome outcome,
                        int exitCode, const ProgrammerOperations& operations, std::string message,
                        const FailureCause& cause, uint64_t durationMs) {
  RunReport report;
  report.outcome = OutcomeName(outcome, operations.lastReadResult());
  report.exitCode = exitCode;
  report.message = std::move(message);
  report.cause = cause;
  report.durationMs = durationMs;
  report.wordsWritten = WordsWritten(command, outcome, operations.image());
  // The digests of the bytes the program was read from, never of the file as
  // it is on disk by now.
  NoteFile(report, filePath, operations.mcuType(), operations.fileSha256(),
           operations.memoryDigest());
  if (const std::optional<PortDetails> port = operations.PodPort()) {
    report.podSerialNumber = port->serialNumber;
  }
  if (command == "pod-write") {
    report.podFileName = operations.podFileName();
  }
  if (command == "pod-info") {
    report.podVersion = operations.podVersion();
    const PodTagInfo& tag = operations.podTag();
    if (tag.present()) {
      report.podFileName = tag.name.substr(0, tag.name.find('\0'));
      report.podDate = DateText(tag);
    }
  }
  report.command = std::move(command);
  return report;
}

RunReport MakeFileRefusedReport(std::string command, const std::string& filePath,
                                const LoadedProgram& program, std::string outcome, int exitCode,
                                std::string message) {
  RunReport report;
  report.command = std::move(command);
  report.outcome = std::move(outcome);
  report.exitCode = exitCode;
  report.message = std::move(message);
  NoteFile(report, filePath, program.mcuType, program.fileSha256, program.memoryDigest);
  return report;
}

nlohmann::ordered_json RunReportJson(const RunReport& report) {
  nlohmann::ordered_json pod = nullptr;
  if (report.podVersion != 0 || !report.podFileName.empty()) {
    pod = {
        {"version", report.podVersion == 0
                        ? nlohmann::ordered_json(nullptr)
                        : nlohmann::ordered_json(std::to_string(report.podVersion / 10) + "." +
                                                 std::to_string(report.podVersion % 10))},
        {"fileName", TextOrNull(report.podFileName)},
        {"date", TextOrNull(report.podDate)},
    };
  }
  return {
      {"command", report.command},
      {"outcome", report.outcome},
      {"exitCode", report.exitCode},
      {"message", report.message},
      {"cause", CauseJson(report.cause)},
      {"device", TextOrNull(report.device)},
      {"file", report.filePath.empty()
                   ? nlohmann::ordered_json(nullptr)
                   : nlohmann::ordered_json{{"name", report.filePath},
                                            {"sha256", TextOrNull(report.fileSha256)},
                                            {"memoryDigest", TextOrNull(report.memoryDigest)}}},
      {"durationMs", report.durationMs},
      {"wordsWritten", report.wordsWritten},
      {"pod", pod},
      {"chosenPod", TextOrNull(report.chosenPod)},
      {"serialNumber", report.serialNumber ? nlohmann::ordered_json(*report.serialNumber)
                                           : nlohmann::ordered_json(nullptr)},
  };
}

RunLogEntry RunLogEntryOf(const RunReport& report) {
  RunLogEntry entry;
  entry.command = report.command;
  entry.fileName = report.filePath;
  entry.fileSha256 = report.fileSha256;
  entry.memorySha256 = report.memoryDigest;
  entry.device = report.device;
  entry.podSerial = report.podSerialNumber.empty() ? report.chosenPod : report.podSerialNumber;
  entry.podFirmware = report.podVersion;
  entry.outcome = report.outcome;
  entry.exitStatus = report.exitCode;
  entry.message = report.message;
  entry.cause = report.cause.failed() ? DescribeFailure(report.cause) : std::string();
  entry.durationMs = report.durationMs;
  entry.serialNumber = report.serialNumber;
  return entry;
}
