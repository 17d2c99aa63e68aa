#include "emulator/PodFirmware.h"

#include <bit>
#include <utility>

namespace {

constexpr char kErased = static_cast<char>(0xFF);  // what unwritten serial flash reads

// Hexadecimal digits of the payload of each letter; none for letters the POD
// does not know. O has three forms and is checked on its own.
std::optional<size_t> PayloadDigits(char letter) {
  switch (letter) {
    case 'I':
    case '?':
    case 'R':
    case 'G':
    case 'H':
    case 'i':
    case 'J':
    case 'h':
    case 'g':
      return 0;
    case 'N':
      return 1;
    case 'l':
      return 2;
    case 'S':
    case 'U':
    case 'Y':
    case 'X':
      return 4;
    case 'W':
    case 'L':
    case 'Q':
      return 8;
    case 'V':
      return 20;
    case 'T':
      return 28;
    case 'P':
      return 32;
    case 'M':
    case 'K':
      return 33;
    default:
      return std::nullopt;
  }
}

bool HasReply(char letter) {
  return letter != 'S' && letter != 'G' && letter != 'H' && letter != 'i';
}

CsmKeys TakeKeys(FrameFields& fields) {
  CsmKeys keys;
  for (uint16_t& key : keys) {
    key = static_cast<uint16_t>(fields.Take(4));
  }
  return keys;
}

void AppendWord(std::string& bytes, uint32_t value, int byteCount) {
  for (int shift = 8 * (byteCount - 1); shift >= 0; shift -= 8) {
    bytes.push_back(static_cast<char>(value >> shift));
  }
}

}  // namespace

PodFirmware::PodFirmware(const PodConfig& config, const WireTiming& timing)
    : config_(config), timing_(timing), target_(config.targetMcuType), store_(config.statePath) {}

std::optional<std::string> PodFirmware::Malformation(const ReceivedBytes& received) {
  if (received.kind == ReceivedBytes::Kind::Cut) {
    return "the frame was cut off by the next STX";
  }
  if (received.overlong) {
    return "the frame is too long";
  }
  const std::string& bytes = received.bytes;
  if (bytes.size() < 3) {
    return "the frame has no command letter";
  }
  const char letter = bytes[1];
  const std::string_view payload = std::string_view(bytes).substr(2, bytes.size() - 3);
  const auto digits = PayloadDigits(letter);
  if (!digits && letter != 'O') {
    return "unknown command";
  }
  if (!IsUpperHex(payload)) {
    return "the payload is not upper-case hexadecimal";
  }
  if (letter == 'O') {
    const bool fits = (payload.size() == 2 && payload == "00") ||
                      (payload.size() == 6 && payload.starts_with("01")) ||
                      (payload.size() == 12 && payload.starts_with("02"));
    return fits ? std::nullopt : std::optional<std::string>("O with an unknown kind or length");
  }
  if (payload.size() != *digits) {
    return "the payload has " + std::to_string(payload.size()) + " digits, not " +
           std::to_string(*digits);
  }
  return std::nullopt;
}

std::optional<PodFirmware::Response> PodFirmware::Receive(char byte, uint64_t atNs) {
  auto received = parser_.Feed(byte);
  if (!received) {
    return std::nullopt;
  }
  if (received->kind == ReceivedBytes::Kind::Junk) {
    Record({TranscriptEntry::Kind::Junk, received->bytes, {}, {}, {}, atNs});
    return std::nullopt;
  }
  const char letter = received->bytes.size() > 1 ? received->bytes[1] : 0;
  const auto fault = faults_.Next(letter);
  TranscriptEntry entry{TranscriptEntry::Kind::Accepted, received->bytes, {}, {}, {}, atNs};
  if (fault) {
    entry.fault = fault->kind;
  }
  if (fault && (fault->kind == FaultKind::NoReply || fault->kind == FaultKind::Unplug)) {
    entry.kind = TranscriptEntry::Kind::Lost;
    Record(std::move(entry));
    return Response{{}, 0, fault->kind == FaultKind::Unplug};
  }

  Response response;
  if (auto malformation = Malformation(*received)) {
    entry.kind = TranscriptEntry::Kind::Malformed;
    entry.note = std::move(*malformation);
    // A frame cut off by the next one gets no answer: the sender has moved on.
    if (received->kind == ReceivedBytes::Kind::Frame) {
      response.reply.assign(1, kNak);
    }
  } else {
    // The boot loader counts the words of a block; any other command in between
    // leaves it out of step.
    if (letter != 'S' && letter != 'Y' && letter != 'U' && letter != 'X') {
      target_.AbandonBootBlock();
    }
    const std::string& bytes = received->bytes;
    Outcome outcome = Execute(letter, std::string_view(bytes).substr(2, bytes.size() - 3));
    if (outcome.refusal) {
      entry.kind = TranscriptEntry::Kind::Refused;
      entry.note = std::move(*outcome.refusal);
      // Commands without a reply fail silently; the PC notices at the next reply.
      if (HasReply(letter)) {
        response.reply.assign(1, kNak);
      }
    } else {
      response.reply = std::move(outcome.reply);
    }
    if (timing_.enabled) {
      response.busyNs = (uint64_t{timing_.frameUs} + outcome.workUs) * 1000;
    }
  }

  if (fault) {
    switch (fault->kind) {
      case FaultKind::WrongFirstByte:
        if (response.reply.empty()) {
          response.reply.assign(1, fault->wrongByte);
        } else {
          response.reply[0] = fault->wrongByte;
        }
        break;
      case FaultKind::ShortReply:
        if (!response.reply.empty()) {
          response.reply.pop_back();
        }
        break;
      case FaultKind::Stall:
        response.busyNs += uint64_t{fault->stallMs} * 1'000'000;
        break;
      case FaultKind::NoReply:
      case FaultKind::Unplug:
        break;
    }
  }
  entry.reply = response.reply;
  Record(std::move(entry));
  return response;
}

void PodFirmware::RecordGarbled(std::string_view bytes, uint64_t atNs) {
  Record({TranscriptEntry::Kind::Junk,
          std::string(bytes),
          {},
          "the line is not set to 921600 baud, 8 data bits, 1 stop bit, no parity",
          {},
          atNs});
}

void PodFirmware::Record(TranscriptEntry entry) {
  if (!config_.keepTranscript) {
    return;
  }
  // Stray bytes in a row make one entry.
  if (entry.kind == TranscriptEntry::Kind::Junk && entry.note.empty() && !transcript_.empty() &&
      transcript_.back().kind == TranscriptEntry::Kind::Junk && transcript_.back().note.empty()) {
    transcript_.back().frame += entry.frame;
    transcript_.back().atNs = entry.atNs;
    return;
  }
  transcript_.push_back(std::move(entry));
}

void PodFirmware::PowerCycle() {
  parser_.Reset();
  words_.clear();
  wordsOverflowed_ = false;
  store_.End();
  target_.Reset();
}

PodFirmware::Outcome PodFirmware::Execute(char letter, std::string_view payload) {
  const std::string ack(1, kAck);
  FrameFields fields(payload);
  switch (letter) {
    case 'I':
      return {ack};
    case '?':
      return {ack + config_.firmwareVersion};
    case 'R':
      target_.Reset();
      return {ack, std::nullopt, timing_.resetUs};
    case 'N': {
      const auto code = static_cast<uint8_t>(fields.Take(1));
      return {ack, target_.StartBoot(code, nullptr), timing_.bootStartUs};
    }
    case 'M': {
      const auto code = static_cast<uint8_t>(fields.Take(1));
      const CsmKeys keys = TakeKeys(fields);
      return {ack, target_.StartBoot(code, &keys), timing_.bootStartUs};
    }
    case 'K': {
      const uint32_t flag = fields.Take(1);
      const CsmKeys keys = TakeKeys(fields);
      if (flag > 1) {
        return {ack, "the CSM flag is neither 0 nor 1"};
      }
      return {ack, target_.LoadFlashAlgorithm(flag == 1, keys), timing_.algorithmLoadUs};
    }
    case 'O':
      return FlashCommand(payload);
    case 'S':
      return StreamWord(static_cast<uint16_t>(fields.Take(4)));
    case 'U':
      return {ack, target_.BootHeaderWord(static_cast<uint16_t>(fields.Take(4)))};
    case 'Y':
      return {ack, target_.BootDataWord(static_cast<uint16_t>(fields.Take(4)), true)};
    case 'X':
      return {ack, target_.EndBoot(static_cast<uint16_t>(fields.Take(4)))};
    case 'G':
      // A new access starts with an empty buffer, whatever an earlier one left.
      words_.clear();
      wordsOverflowed_ = false;
      store_.Begin();
      return {};
    case 'H':
      store_.End();
      store_.SaveInBackground();
      return {};
    case 'i':
      store_.Abort();
      store_.SaveInBackground();
      return {};
    case 'V': {
      const uint32_t ordinal = fields.Take(2);
      StoredSection section;
      section.address = fields.Take(6);
      section.wordCount = fields.Take(6);
      section.offset = fields.Take(6);
      return {ack, store_.PutSection(ordinal, section)};
    }
    case 'W':
    case 'L': {
      const uint32_t page = fields.Take(4);
      return CommitPage(letter == 'L', page, fields.Take(4));
    }
    case 'P':
      return {ack, store_.PutPassword(TakeKeys(fields))};
    case 'T': {
      StoredTag tag;
      for (uint8_t& byte : tag) {
        byte = static_cast<uint8_t>(fields.Take(2));
      }
      return {ack, store_.PutTag(tag)};
    }
    case 'Q': {
      StoredCoffInfo info;
      info.podCode = static_cast<uint8_t>(fields.Take(1));
      info.csmFlag = static_cast<uint8_t>(fields.Take(1));
      info.sectorMask = static_cast<uint16_t>(fields.Take(4));
      info.eraseAll = static_cast<uint8_t>(fields.Take(2));
      return {ack, store_.PutCoffInfo(info)};
    }
    case 'J':
      return {ack + TagReply()};
    case 'h':
    case 'g':
    case 'l':
      if (!store_.AccessOpen()) {
        return {ack, "no serial-flash access is open (G)"};
      }
      return {ack + (letter == 'h'   ? CoffInfoReply()
                     : letter == 'g' ? PasswordReply()
                                     : SectionReply(fields.Take(2)))};
    default:
      return {ack, "unknown command"};
  }
}

PodFirmware::Outcome PodFirmware::FlashCommand(std::string_view payload) {
  const std::string ack(1, kAck);
  FrameFields fields(payload);
  switch (fields.Take(2)) {
    case 0:
      // Preparing starts a fresh transfer: nothing streamed before it counts.
      words_.clear();
      wordsOverflowed_ = false;
      return {ack, target_.PrepareFlash(), timing_.prepareUs};
    case 1: {
      const auto mask = static_cast<uint16_t>(fields.Take(4));
      const auto sectors =
          std::popcount(static_cast<uint16_t>(mask & target_.Device().allSectorsMask));
      return {ack, target_.EraseSectors(mask), uint64_t{timing_.sectorEraseUs} * sectors};
    }
    default: {
      const uint32_t address = fields.Take(6);
      const uint32_t count = fields.Take(4);
      std::vector<uint16_t> words;
      if (auto refusal = TakeWords(count, words)) {
        return {ack, refusal};
      }
      // The words travel with their bytes exchanged.
      for (uint16_t& word : words) {
        word = static_cast<uint16_t>(word << 8 | word >> 8);
      }
      return {ack, target_.ProgramFlash(address, words), uint64_t{timing_.programWordUs} * count};
    }
  }
}

PodFirmware::Outcome PodFirmware::StreamWord(uint16_t value) {
  if (target_.InBootBlock()) {
    return {{}, target_.BootDataWord(value, false)};
  }
  if (words_.size() < kWordBufferWords) {
    words_.push_back(value);
  } else {
    wordsOverflowed_ = true;
  }
  return {};
}

Refusal PodFirmware::TakeWords(size_t count, std::vector<uint16_t>& words) {
  words.swap(words_);
  words_.clear();
  const bool overflowed = std::exchange(wordsOverflowed_, false);
  if (overflowed) {
    return "more words were streamed than the POD can hold";
  }
  if (words.size() != count) {
    return std::to_string(words.size()) + " words were streamed, the command names " +
           std::to_string(count);
  }
  return std::nullopt;
}

PodFirmware::Outcome PodFirmware::CommitPage(bool compare, uint32_t page, uint32_t byteCount) {
  const std::string ack(1, kAck);
  std::vector<uint16_t> words;
  if (byteCount % 2 != 0) {
    words_.clear();
    return {ack, "a page holds whole words"};
  }
  if (auto refusal = TakeWords(byteCount / 2, words)) {
    return {ack, refusal};
  }
  // A streamed word is the program word with its bytes exchanged, so its high
  // byte first gives the program's bytes in file order.
  std::vector<uint8_t> bytes;
  bytes.reserve(byteCount);
  for (const uint16_t word : words) {
    bytes.push_back(static_cast<uint8_t>(word >> 8));
    bytes.push_back(static_cast<uint8_t>(word));
  }
  if (compare) {
    return {ack, store_.ComparePage(page, bytes), timing_.pageCompareUs};
  }
  return {ack, store_.PutPage(page, std::move(bytes)), timing_.pageWriteUs};
}

std::string PodFirmware::TagReply() const {
  const auto& tag = store_.Contents().tag;
  if (!tag) {
    return std::string(15, kErased);
  }
  return char{1} + std::string(tag->begin(), tag->end());
}

std::string PodFirmware::CoffInfoReply() const {
  const auto& info = store_.Contents().coffInfo;
  if (!info) {
    return std::string(6, kErased);
  }
  // Bytes 4 and 5 carry the sector mask (never above 0xFF) and the erase-all
  // flag; the PC does not read them.
  std::string bytes(1, 'w');
  bytes.push_back(static_cast<char>(info->podCode));
  bytes.push_back(static_cast<char>(info->csmFlag));
  bytes.push_back(static_cast<char>(info->sectorMask));
  bytes.push_back(static_cast<char>(info->eraseAll));
  bytes.push_back(static_cast<char>(store_.Contents().sections.size()));
  return bytes;
}

std::string PodFirmware::PasswordReply() const {
  const auto& password = store_.Contents().password;
  if (!password) {
    return std::string(16, kErased);
  }
  std::string bytes;
  for (const uint16_t key : *password) {
    AppendWord(bytes, key, 2);
  }
  return bytes;
}

std::string PodFirmware::SectionReply(uint32_t ordinal) const {
  const auto& sections = store_.Contents().sections;
  const auto section = sections.find(static_cast<uint8_t>(ordinal));
  if (section == sections.end()) {
    return std::string(9, kErased);
  }
  std::string bytes;
  AppendWord(bytes, section->second.address, 3);
  AppendWord(bytes, section->second.wordCount, 3);
  AppendWord(bytes, section->second.offset, 3);
  return bytes;
}
