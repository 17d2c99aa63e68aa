#include "pod/PodCommands.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "image/McuCatalogue.h"

namespace {

constexpr uint32_t kPingTimeoutMs = 200;
constexpr uint32_t kQueryTimeoutMs = 200;
constexpr uint32_t kResetTimeoutMs = 1000;
constexpr uint32_t kBootTimeoutMs = 3000;
constexpr uint32_t kCsmBootTimeoutMs = 6000;
constexpr uint32_t kAlgorithmTimeoutMs = 10000;
constexpr uint32_t kPageTimeoutMs = 3000;

// Part of the version reply that names this POD's firmware.
constexpr std::string_view kVersionMarker = "QZV";

}  // namespace

PodCommands::PodCommands(PodLink& link, const PodTarget& target) : link_(link), target_(target) {}

bool PodCommands::AppendFrame(std::string& out, char letter, std::span<const FrameField> fields) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const size_t start = out.size();
  out.push_back(kStx);
  out.push_back(letter);
  for (const FrameField& field : fields) {
    const bool fits = field.digits >= 1 && field.digits <= 8 &&
                      (field.digits == 8 || (field.value >> (4 * field.digits)) == 0);
    if (!fits) {
      out.resize(start);
      return false;
    }
    for (int shift = 4 * (field.digits - 1); shift >= 0; shift -= 4) {
      out.push_back(kHex[(field.value >> shift) & 0xF]);
    }
  }
  out.push_back(kEtx);
  return true;
}

std::string PodCommands::Frame(char letter, std::initializer_list<FrameField> fields) {
  std::string frame;
  AppendFrame(frame, letter, std::span(fields.begin(), fields.size()));
  return frame;
}

bool PodCommands::Exchange(PodLink& link, std::string_view frame, std::span<uint8_t> reply,
                           uint32_t timeoutMs) {
  std::fill(reply.begin(), reply.end(), 0);
  if (frame.empty() || reply.empty()) {
    return false;
  }
  link.BeginCommand(frame[1]);
  return link.Write(frame.data(), static_cast<uint32_t>(frame.size()), kFrameWriteTimeoutMs) &&
         AwaitReply(link, reply, timeoutMs);
}

bool PodCommands::AwaitReply(PodLink& link, std::span<uint8_t> reply, uint32_t timeoutMs) {
  const auto size = static_cast<uint32_t>(reply.size());
  if (!link.Read(reply.data(), size, timeoutMs)) {
    return false;
  }
  if (reply[0] == kAccepted) {
    return true;
  }
  link.NoteWrongReply(std::string(reply.begin(), reply.end()), size);
  return false;
}

FailureCause PodCommands::FailureIn(std::string context) const {
  FailureCause cause = link_.failure();
  cause.context = std::move(context);
  return cause;
}

bool PodCommands::PingPod(PodLink& link) {
  std::array<uint8_t, 1> reply;
  return Exchange(link, Frame('I'), reply, kPingTimeoutMs);
}

OpenStatus PodCommands::OpenPod(PodLink& link) {
  if (link.isOpen()) {
    return OpenStatus::Ok;
  }
  if (!link.Open()) {
    return OpenStatus::PortFailed;
  }
  if (!PingPod(link)) {
    link.CloseAtOnce();
    return OpenStatus::NoAnswer;
  }
  return OpenStatus::Ok;
}

bool PodCommands::Acknowledged(std::string_view frame, uint32_t timeoutMs) {
  std::array<uint8_t, 1> reply;
  return Exchange(link_, frame, reply, timeoutMs);
}

bool PodCommands::QueryVersion() {
  podVersion_ = 0;
  std::array<uint8_t, 6> reply;
  if (!Exchange(link_, Frame('?'), reply, kQueryTimeoutMs)) {
    return false;
  }
  std::string_view text(reinterpret_cast<const char*>(reply.data()) + 1, reply.size() - 1);
  text = text.substr(0, text.find('\0'));
  if (text.starts_with(kVersionMarker)) {
    for (char c : text.substr(kVersionMarker.size())) {
      if (c < '0' || c > '9') {
        break;
      }
      podVersion_ = static_cast<uint16_t>(podVersion_ * 10 + (c - '0'));
    }
  }
  return true;
}

bool PodCommands::ResetTarget() {
  if (!Acknowledged(Frame('R'), kResetTimeoutMs)) {
    return false;
  }
  // Whatever the target's restart puts on the line is not for us.
  link_.Purge();
  return true;
}

bool PodCommands::SendBootHeaderWord(uint16_t value, uint32_t timeoutMs) {
  return Acknowledged(Frame('U', {{value, 4}}), timeoutMs);
}

bool PodCommands::SendBootAddress(uint32_t address, uint32_t timeoutMs) {
  return SendBootHeaderWord(static_cast<uint16_t>(address >> 16), timeoutMs) &&
         SendBootHeaderWord(static_cast<uint16_t>(address & 0xFFFF), timeoutMs);
}

bool PodCommands::SendBootDataWord(uint16_t value) {
  return !BatchDataWord(value, false) || FlushPending();
}

bool PodCommands::SendBootLastWord(uint16_t value, uint32_t timeoutMs) {
  AppendFrame(pending_, 'Y', std::array{FrameField{value, 4}});
  std::array<uint8_t, 1> reply{};
  return WritePending('Y') && AwaitReply(link_, reply, timeoutMs);
}

bool PodCommands::EndBootStream(uint32_t timeoutMs) {
  return Acknowledged(Frame('X', {{0, 4}}), timeoutMs);
}

uint8_t PodCommands::TypeCode() const {
  return target_.mcuType.info().podCode;
}

std::string PodCommands::KeyedFrame(char letter, std::span<const FrameField> lead,
                                    bool useEnteredKeys) const {
  const CsmKeys& keys = useEnteredKeys ? target_.keys : kErasedCsmKeys;
  std::vector<FrameField> fields(lead.begin(), lead.end());
  for (uint16_t key : keys) {
    fields.push_back({key, 4});
  }
  std::string frame;
  AppendFrame(frame, letter, fields);
  return frame;
}

bool PodCommands::StartSciBoot(bool useCsm, bool flashMode) {
  // In flash mode the keys travel with the flash algorithm instead.
  if (useCsm && !flashMode && target_.mcuType.info().ramBootNeedsKeys) {
    return Acknowledged(KeyedFrame('M', std::array{FrameField{TypeCode(), 1}}, true),
                        kCsmBootTimeoutMs);
  }
  return Acknowledged(Frame('N', {{TypeCode(), 1}}), kBootTimeoutMs);
}

bool PodCommands::LoadFlashAlgorithm(bool useCsm) {
  return Acknowledged(KeyedFrame('K', std::array{FrameField{useCsm ? 1u : 0u, 1}}, useCsm),
                      kAlgorithmTimeoutMs);
}

bool PodCommands::PrepareFlash(uint32_t timeoutMs) {
  return Acknowledged(Frame('O', {{0, 2}}), timeoutMs);
}

bool PodCommands::EraseSectors(uint16_t sectorMask, uint32_t timeoutMs) {
  return Acknowledged(Frame('O', {{1, 2}, {sectorMask, 4}}), timeoutMs);
}

bool PodCommands::ProgramWords(uint32_t address, uint16_t wordCount, uint32_t timeoutMs) {
  return Acknowledged(Frame('O', {{2, 2}, {address, 6}, {wordCount, 4}}), timeoutMs);
}

bool PodCommands::StreamFlashWord(uint16_t value, bool last) {
  return !BatchDataWord(value, last) || FlushPending();
}

bool PodCommands::BatchDataWord(uint16_t value, bool last) {
  AppendFrame(pending_, 'S', std::array{FrameField{value, 4}});
  return last || pending_.size() >= kFlushThreshold;
}

bool PodCommands::WritePending(char lastFrame) {
  link_.BeginCommand(lastFrame);
  const bool written =
      link_.Write(pending_.data(), static_cast<uint32_t>(pending_.size()), kFlushWriteTimeoutMs);
  pending_.clear();
  return written;
}

bool PodCommands::FlushPending() {
  uint32_t waiting = 0;
  if (!WritePending('S') || !link_.QueuedInput(waiting)) {
    return false;
  }
  if (waiting != 0) {
    link_.NoteWrongReply({}, waiting);
    return false;
  }
  return true;
}

bool PodCommands::WriteAlone(char letter) {
  const std::string frame = Frame(letter);
  link_.BeginCommand(letter);
  return link_.Write(frame.data(), static_cast<uint32_t>(frame.size()), kFrameWriteTimeoutMs);
}

bool PodCommands::SendSectionRecord(uint8_t ordinal, uint32_t address, uint32_t wordCount,
                                    uint32_t dataOffset) {
  return Acknowledged(Frame('V', {{ordinal, 2}, {address, 6}, {wordCount, 6}, {dataOffset, 6}}),
                      kQueryTimeoutMs);
}

bool PodCommands::PageCommand(char letter, uint16_t page, uint16_t byteCount) {
  return Acknowledged(Frame(letter, {{page, 4}, {byteCount, 4}}), kPageTimeoutMs);
}

bool PodCommands::SendPassword(bool useCsm) {
  return Acknowledged(KeyedFrame('P', {}, useCsm), kQueryTimeoutMs);
}

bool PodCommands::SendTag(const PodTagBytes& tag) {
  std::array<FrameField, std::tuple_size_v<PodTagBytes>> fields{};
  std::transform(tag.begin(), tag.end(), fields.begin(), [](uint8_t byte) {
    return FrameField{byte, 2};
  });
  std::string frame;
  AppendFrame(frame, 'T', fields);
  return Acknowledged(frame, kQueryTimeoutMs);
}

bool PodCommands::SendCoffInfo(bool useCsm, uint16_t sectorMask, bool eraseAll) {
  return Acknowledged(
      Frame('Q',
            {{TypeCode(), 1}, {useCsm ? 1u : 0u, 1}, {sectorMask, 4}, {eraseAll ? 1u : 0u, 2}}),
      kQueryTimeoutMs);
}

bool PodCommands::QueryTag(TagReply& reply) {
  return Exchange(link_, Frame('J'), reply, kQueryTimeoutMs);
}

bool PodCommands::QueryCoffInfo(CoffInfoReply& reply) {
  return Exchange(link_, Frame('h'), reply, kQueryTimeoutMs);
}

bool PodCommands::QueryPassword(PasswordReply& reply) {
  return Exchange(link_, Frame(kPasswordQueryFrame), reply, kQueryTimeoutMs);
}

bool PodCommands::QuerySectionRecord(uint8_t ordinal, SectionReply& reply) {
  return Exchange(link_, Frame('l', {{ordinal, 2}}), reply, kQueryTimeoutMs);
}
