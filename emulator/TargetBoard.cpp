#include "emulator/TargetBoard.h"

#include <algorithm>

namespace {

constexpr CsmKeys kZeroPassword{};

}  // namespace

TargetBoard::TargetBoard(McuType mcuType)
    : device_(mcuType.info()), flash_(device_.flashLast - device_.flashFirst + 1, 0xFFFF) {}

bool TargetBoard::InFlash(uint32_t address) const {
  return address >= device_.flashFirst && address <= device_.flashLast;
}

uint16_t TargetBoard::ReadWord(uint32_t address) const {
  if (InFlash(address)) {
    return flash_[address - device_.flashFirst];
  }
  const auto word = ram_.find(address);
  return word == ram_.end() ? 0 : word->second;
}

void TargetBoard::WriteWord(uint32_t address, uint16_t value) {
  if (InFlash(address)) {
    flash_[address - device_.flashFirst] = value;
  } else {
    ram_[address] = value;
  }
}

void TargetBoard::Secure(const CsmKeys& keys) {
  for (uint32_t n = 0; n < keys.size(); ++n) {
    WriteWord(kCsmKeyAddress + n, keys[n]);
  }
  Reset();
}

bool TargetBoard::Secured() const {
  for (uint32_t n = 0; n < kErasedCsmKeys.size(); ++n) {
    if (ReadWord(kCsmKeyAddress + n) != 0xFFFF) {
      return true;
    }
  }
  return false;
}

void TargetBoard::Reset() {
  stage_ = Stage::Running;
  unlocked_ = false;
  expect_ = BootExpect::Count;
  blocks_ = 0;
  remaining_ = 0;
}

Refusal TargetBoard::Unlock(const CsmKeys& keys) {
  CsmKeys password;
  for (uint32_t n = 0; n < password.size(); ++n) {
    password[n] = ReadWord(kCsmKeyAddress + n);
  }
  // An erased password leaves the part open whatever keys are written; an all-zero
  // password locks it for good, even against the matching keys.
  if (password == kErasedCsmKeys) {
    unlocked_ = true;
    return std::nullopt;
  }
  if (password == kZeroPassword) {
    return "the CSM password is all zero: the part can never be unlocked";
  }
  if (keys != password) {
    return "the CSM keys do not match the password";
  }
  unlocked_ = true;
  return std::nullopt;
}

Refusal TargetBoard::StartBoot(uint8_t podCode, const CsmKeys* keys) {
  if (podCode < 1 || podCode > kMcuTypeCount) {
    return "unknown device code";
  }
  Reset();
  stage_ = Stage::BootLoader;
  bootCode_ = podCode;
  return keys == nullptr ? std::nullopt : Unlock(*keys);
}

Refusal TargetBoard::LoadFlashAlgorithm(bool useKeys, const CsmKeys& keys) {
  if (stage_ != Stage::BootLoader || expect_ != BootExpect::Count || blocks_ != 0) {
    return "the boot loader is not waiting for a download";
  }
  // The algorithm is built for the device code of the boot start; on another part
  // it refuses to run (it checks the part before touching the flash).
  if (bootCode_ != device_.podCode) {
    return "the flash algorithm is for another device";
  }
  if (useKeys) {
    if (auto refusal = Unlock(keys)) {
      return refusal;
    }
  } else if (Locked()) {
    return "the part is secured and no keys were given";
  }
  stage_ = Stage::FlashAlgorithm;
  return std::nullopt;
}

Refusal TargetBoard::PrepareFlash() {
  if (stage_ != Stage::FlashAlgorithm && stage_ != Stage::FlashReady) {
    return "no flash algorithm is loaded";
  }
  stage_ = Stage::FlashReady;
  return std::nullopt;
}

Refusal TargetBoard::EraseSectors(uint16_t mask) {
  if (stage_ != Stage::FlashReady) {
    return "the flash is not prepared";
  }
  if (mask == 0 || (mask & ~device_.allSectorsMask) != 0) {
    return "the mask names no sector or a sector the device does not have";
  }
  for (uint32_t n = 0; n < device_.sectorCount; ++n) {
    if ((mask & (1u << n)) != 0) {
      const uint32_t last = device_.flashLast - n * device_.sectorWords;
      const auto end = flash_.begin() + (last - device_.flashFirst + 1);
      std::fill(end - device_.sectorWords, end, uint16_t{0xFFFF});
    }
  }
  return std::nullopt;
}

Refusal TargetBoard::ProgramFlash(uint32_t address, std::span<const uint16_t> words) {
  if (stage_ != Stage::FlashReady) {
    return "the flash is not prepared";
  }
  if (words.empty()) {
    return "no words to program";
  }
  // Like the flash API, a range that leaves the flash is refused before any word
  // is touched.
  if (!InFlash(address) || !InFlash(address + words.size() - 1)) {
    return "the words lie outside the flash";
  }
  bool exact = true;
  for (size_t n = 0; n < words.size(); ++n) {
    uint16_t& cell = flash_[address + n - device_.flashFirst];
    cell &= words[n];
    exact = exact && cell == words[n];
  }
  if (!exact) {
    return "programming cannot set bits that are 0: the flash was not erased";
  }
  return std::nullopt;
}

Refusal TargetBoard::BreakBoot(std::string why) {
  expect_ = BootExpect::Broken;
  return why;
}

Refusal TargetBoard::BootHeaderWord(uint16_t value) {
  if (stage_ != Stage::BootLoader) {
    return "the boot loader is not running";
  }
  switch (expect_) {
    case BootExpect::Count:
      // A block of no words ends the stream; that is what X is for.
      if (value == 0) {
        return BreakBoot("a boot block of no words");
      }
      blockWords_ = value;
      expect_ = BootExpect::AddressHigh;
      return std::nullopt;
    case BootExpect::AddressHigh:
      if (value > (kLastAddress >> 16)) {
        return BreakBoot("a boot block address beyond the address space");
      }
      blockAddress_ = uint32_t{value} << 16;
      expect_ = BootExpect::AddressLow;
      return std::nullopt;
    case BootExpect::AddressLow:
      blockAddress_ |= value;
      if (blockAddress_ + blockWords_ - 1 > kLastAddress) {
        return BreakBoot("a boot block running past the address space");
      }
      remaining_ = blockWords_;
      expect_ = BootExpect::Data;
      return std::nullopt;
    case BootExpect::Data:
      return BreakBoot("a header word inside a boot block");
    case BootExpect::Broken:
      break;
  }
  return "the boot stream is broken";
}

Refusal TargetBoard::BootDataWord(uint16_t value, bool lastOfBlock) {
  if (stage_ != Stage::BootLoader) {
    return "the boot loader is not running";
  }
  if (expect_ != BootExpect::Data) {
    return BreakBoot("a data word outside a boot block");
  }
  // The POD acknowledges a block at its last word, so that word must come as Y
  // and no other may.
  if (lastOfBlock != (remaining_ == 1)) {
    return BreakBoot(lastOfBlock ? "Y before the last word of the block"
                                 : "the last word of the block came without Y");
  }
  LoadWord(blockAddress_ + (blockWords_ - remaining_), value);
  if (--remaining_ == 0) {
    ++blocks_;
    expect_ = BootExpect::Count;
  }
  return std::nullopt;
}

void TargetBoard::LoadWord(uint32_t address, uint16_t value) {
  // The boot loader writes with plain stores: flash ignores them, and so does
  // secure RAM while the CSM is locked.
  if (InFlash(address) || (Locked() && address >= kSecureRamFirst && address <= kSecureRamLast)) {
    return;
  }
  ram_[address] = value;
}

Refusal TargetBoard::EndBoot(uint16_t value) {
  if (stage_ != Stage::BootLoader) {
    return "the boot loader is not running";
  }
  if (expect_ == BootExpect::Broken) {
    return "the boot stream is broken";
  }
  if (expect_ != BootExpect::Count) {
    return BreakBoot("the boot stream ended in the middle of a block");
  }
  if (value != 0) {
    return BreakBoot("the end of the boot stream must carry 0000");
  }
  // The boot loader now runs what it loaded.
  stage_ = Stage::Running;
  return std::nullopt;
}

bool TargetBoard::InBootBlock() const {
  return stage_ == Stage::BootLoader && expect_ == BootExpect::Data;
}

void TargetBoard::AbandonBootBlock() {
  if (stage_ == Stage::BootLoader && expect_ != BootExpect::Count) {
    expect_ = BootExpect::Broken;
  }
}
