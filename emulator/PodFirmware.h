// The POD's firmware as the wire sees it: takes the received bytes one at a
// time, answers every frame as the POD does, drives the target board and the
// serial-flash store, plays planned faults and keeps a transcript.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/EmulatorConfig.h"
#include "emulator/FaultPlan.h"
#include "emulator/FrameParser.h"
#include "emulator/SerialFlashStore.h"
#include "emulator/TargetBoard.h"

struct TranscriptEntry {
  enum class Kind {
    Accepted,   // carried out; the reply starts with "!" (or there is none)
    Refused,    // well formed, but the POD or the target could not do it
    Malformed,  // not a frame of the protocol
    Junk,       // bytes between frames
    Lost,       // never reached the firmware (a NoReply or Unplug fault)
  };
  Kind kind = Kind::Accepted;
  std::string frame;  // the bytes received, STX and ETX included
  std::string reply;  // the bytes sent back, after any fault
  std::string note;   // why the frame was refused or malformed
  std::optional<FaultKind> fault;
  uint64_t atNs = 0;  // when its last byte arrived
};

class PodFirmware {
 public:
  static constexpr char kAck = '!';
  // The POD's answer to anything it cannot do; any byte but "!" is a failure.
  static constexpr char kNak = 0x15;
  // Words streamed in S frames wait here for O 02, W or L: one serial-flash page.
  static constexpr size_t kWordBufferWords = SerialFlashStore::kPageBytes / 2;

  struct Response {
    std::string reply;
    uint64_t busyNs = 0;  // how long the POD works before the reply goes out
    bool unplug = false;  // the POD is gone
  };

  PodFirmware(const PodConfig& config, const WireTiming& timing);

  // One byte from the line; a response when it completed a frame.
  std::optional<Response> Receive(char byte, uint64_t atNs);
  // Bytes sent while the line was not set up: the POD hears only noise.
  void RecordGarbled(std::string_view bytes, uint64_t atNs);
  // The POD lost power: what it was receiving, its buffer and its access to the
  // serial flash are gone, and the target is reset.
  void PowerCycle();

  TargetBoard& Target() { return target_; }
  SerialFlashStore& Store() { return store_; }
  const SerialFlashStore& Store() const { return store_; }
  FaultPlan& Faults() { return faults_; }
  const std::vector<TranscriptEntry>& Transcript() const { return transcript_; }

 private:
  struct Outcome {
    std::string reply{};
    Refusal refusal{};
    uint64_t workUs = 0;
  };

  static std::optional<std::string> Malformation(const ReceivedBytes& received);
  Outcome Execute(char letter, std::string_view payload);
  Outcome FlashCommand(std::string_view payload);
  Outcome StreamWord(uint16_t value);
  Outcome CommitPage(bool compare, uint32_t page, uint32_t byteCount);
  std::string TagReply() const;
  std::string CoffInfoReply() const;
  std::string PasswordReply() const;
  std::string SectionReply(uint32_t ordinal) const;
  // The streamed words, which must be exactly `count`; the buffer is emptied.
  Refusal TakeWords(size_t count, std::vector<uint16_t>& words);
  void Record(TranscriptEntry entry);

  PodConfig config_;
  WireTiming timing_;
  FrameParser parser_;
  TargetBoard target_;
  SerialFlashStore store_;
  FaultPlan faults_;
  std::vector<uint16_t> words_;
  bool wordsOverflowed_ = false;
  std::vector<TranscriptEntry> transcript_;
};
