// The POD's command frames (STX, a letter, fixed-width hex fields, ETX), the
// command/reply exchange, and the batching of data words into S frames. This is
// the one place where the bytes of the wire protocol are made; see PROTOCOL.md.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "image/McuCatalogue.h"
#include "pod/CsmKeys.h"
#include "pod/PodLink.h"

enum class OpenStatus : uint8_t { Ok = 0, PortFailed = 1, NoAnswer = 2 };

// One frame field: `value` as exactly `digits` upper-case hexadecimal digits.
struct FrameField {
  uint32_t value;
  uint8_t digits;
};

// The device and CSM keys one operation works with, fixed when it starts.
struct PodTarget {
  McuType mcuType = kDefaultMcuType;
  CsmKeys keys = kErasedCsmKeys;
};

// The 14-byte tag the POD keeps with a stored program (name and date).
using PodTagBytes = std::array<uint8_t, 14>;

class PodCommands {
 public:
  static constexpr char kStx = 0x02;
  static constexpr char kEtx = 0x03;
  static constexpr uint8_t kAccepted = '!';
  // The bytes of one data word's S frame.
  static constexpr size_t kDataFrameSize = 7;

  // Replies of the serial-flash queries, the "!" included.
  using TagReply = std::array<uint8_t, 16>;
  using CoffInfoReply = std::array<uint8_t, 7>;
  using PasswordReply = std::array<uint8_t, 17>;
  using SectionReply = std::array<uint8_t, 10>;

  // `link` must outlive this object.
  PodCommands(PodLink& link, const PodTarget& target);

  // The frame of `letter` with `fields`; empty when a value does not fit its
  // field, so that a wrong number never goes out as a garbled frame.
  static std::string Frame(char letter, std::initializer_list<FrameField> fields = {});
  // Appends the frame to `out`; false (and `out` unchanged) when a value does not fit.
  static bool AppendFrame(std::string& out, char letter, std::span<const FrameField> fields);
  // Writes `frame` and reads `reply.size()` bytes within `timeoutMs`; true when
  // both went through and the reply starts with "!". `reply` is zeroed first.
  static bool Exchange(PodLink& link, std::string_view frame, std::span<uint8_t> reply,
                       uint32_t timeoutMs);
  // STX "I" ETX answered by "!": the POD is there and listening.
  static bool PingPod(PodLink& link);
  // Opens the found POD's port and pings the POD; a POD that does not answer
  // has its port closed again.
  static OpenStatus OpenPod(PodLink& link);

  // Reads the firmware version into podVersion(); true whenever the POD answered,
  // even with an unknown marker (podVersion() then stays 0).
  bool QueryVersion();
  uint16_t podVersion() const { return podVersion_; }
  bool ResetTarget();

  // The boot stream, block by block. A header word ("U": the block's size,
  // then its address) is acknowledged on its own.
  bool SendBootHeaderWord(uint16_t value, uint32_t timeoutMs);
  // Two header words: the high half of `address`, then the low half.
  bool SendBootAddress(uint32_t address, uint32_t timeoutMs);
  // A data word of the block ("S"): batched, written out when the batch is full.
  bool SendBootDataWord(uint16_t value);
  // The block's last word ("Y"): writes the batch out with it and waits for the
  // block to be acknowledged.
  bool SendBootLastWord(uint16_t value, uint32_t timeoutMs);
  // "X": the boot stream is over.
  bool EndBootStream(uint32_t timeoutMs);
  bool StartSciBoot(bool useCsm, bool flashMode);
  bool LoadFlashAlgorithm(bool useCsm);
  // The flash commands ("O"): prepare the flash for writing, erase the sectors
  // whose bits are set in `sectorMask`, program the `wordCount` words streamed
  // before at `address`.
  bool PrepareFlash(uint32_t timeoutMs);
  bool EraseSectors(uint16_t sectorMask, uint32_t timeoutMs);
  bool ProgramWords(uint32_t address, uint16_t wordCount, uint32_t timeoutMs);
  // Batches one data word; `last` (or a full batch) writes the batch out.
  bool StreamFlashWord(uint16_t value, bool last);

  // For procedures that look for a stop before each write of the batch:
  // batches one data word and says whether the batch is due to go out, being
  // full or `last`. FlushPending then writes it.
  bool BatchDataWord(uint16_t value, bool last);
  // Writes the batch and empties it; true when it went out and the POD sent
  // nothing back (a data word is never answered, so any byte means trouble).
  bool FlushPending();
  // Drops what a failed or stopped stream left in the batch.
  void ClearPending() { pending_.clear(); }
  // The S frames waiting to go out.
  const std::string& pending() const { return pending_; }

  // Serial-flash store of the POD.
  bool BeginAccess() { return WriteAlone('G'); }
  bool EndAccess() { return WriteAlone('H'); }
  bool AbortAccess() { return WriteAlone('i'); }
  bool SendSectionRecord(uint8_t ordinal, uint32_t address, uint32_t wordCount,
                         uint32_t dataOffset);
  bool CommitPage(uint16_t page, uint16_t byteCount) { return PageCommand('W', page, byteCount); }
  bool ComparePage(uint16_t page, uint16_t byteCount) { return PageCommand('L', page, byteCount); }
  bool SendPassword(bool useCsm);
  bool SendTag(const PodTagBytes& tag);
  bool SendCoffInfo(bool useCsm, uint16_t sectorMask, bool eraseAll);
  bool QueryTag(TagReply& reply);
  bool QueryCoffInfo(CoffInfoReply& reply);
  bool QueryPassword(PasswordReply& reply);
  bool QuerySectionRecord(uint8_t ordinal, SectionReply& reply);

  PodLink& link() { return link_; }
  // Why the last command failed, seen as part of `context` ("erase sector B").
  FailureCause FailureIn(std::string context) const;

 private:
  static constexpr uint32_t kFrameWriteTimeoutMs = 200;
  static constexpr uint32_t kFlushWriteTimeoutMs = 2000;
  // Data words wait in `pending_` until 50 S frames are collected.
  static constexpr size_t kFlushThreshold = 50 * kDataFrameSize;

  // Reads the whole reply of the command just sent; true when it starts with "!".
  static bool AwaitReply(PodLink& link, std::span<uint8_t> reply, uint32_t timeoutMs);
  // The command/reply exchange of one frame with a one-byte reply.
  bool Acknowledged(std::string_view frame, uint32_t timeoutMs);
  bool WriteAlone(char letter);
  // Writes `pending_`, whose last frame is a `lastFrame`, and empties it,
  // whatever the outcome.
  bool WritePending(char lastFrame);
  bool PageCommand(char letter, uint16_t page, uint16_t byteCount);
  // The device code of the selected device, 1 = F2801 ... 5 = F2809.
  uint8_t TypeCode() const;
  // The `lead` fields followed by KEY0..KEY7: the entered keys, or all erased.
  std::string KeyedFrame(char letter, std::span<const FrameField> lead, bool useEnteredKeys) const;

  PodLink& link_;
  PodTarget target_;
  std::string pending_;
  uint16_t podVersion_ = 0;
};
