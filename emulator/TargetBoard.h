// The target board behind the POD: one TMS320F280x with its flash, its RAM, the
// Code Security Module and the stages a programming session takes it through.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "emulator/Refusal.h"
#include "image/McuCatalogue.h"
#include "pod/CsmKeys.h"

class TargetBoard {
 public:
  enum class Stage {
    Running,         // after power-up, a reset or the end of a boot stream
    BootLoader,      // the SCI boot loader waits for a stream
    FlashAlgorithm,  // the POD's flash algorithm runs in the target's RAM
    FlashReady,      // ... and has prepared the flash for erasing and programming
  };

  // RAM that the CSM hides from unsecured code (L0 and L1 SARAM): the boot
  // loader, which runs from unsecured ROM, cannot write it while the part is locked.
  static constexpr uint32_t kSecureRamFirst = 0x8000;
  static constexpr uint32_t kSecureRamLast = 0x9FFF;
  static constexpr uint32_t kLastAddress = 0x3FFFFF;

  // A fresh part: flash erased, RAM cleared, not secured.
  explicit TargetBoard(McuType mcuType);

  const McuInfo& Device() const { return device_; }
  Stage CurrentStage() const { return stage_; }

  // Direct access, like a debugger that holds the keys: no security, no flash rules.
  uint16_t ReadWord(uint32_t address) const;
  void WriteWord(uint32_t address, uint16_t value);
  // Writes the password words and resets: the part is then secured by `keys`.
  void Secure(const CsmKeys& keys);

  // The password in flash is not all 0xFFFF.
  bool Secured() const;
  // Secured and not unlocked since the last reset.
  bool Locked() const { return Secured() && !unlocked_; }

  // --- What the POD does to the board ---
  void Reset();
  // N (no keys) and M (keys): reset into the SCI boot loader, the keys unlocking
  // the CSM first.
  Refusal StartBoot(uint8_t podCode, const CsmKeys* keys);
  // K: the POD streams its flash algorithm for the booted device through the boot
  // loader. The algorithm can reach the flash only on an unlocked part, so a
  // secured part needs the keys (useKeys) or an unlock by M beforehand.
  Refusal LoadFlashAlgorithm(bool useKeys, const CsmKeys& keys);
  Refusal PrepareFlash();               // O 00
  Refusal EraseSectors(uint16_t mask);  // O 01
  // O 02: flash programming can only clear bits, so each word becomes old AND
  // new; a word that thereby differs from the one asked for fails the command.
  Refusal ProgramFlash(uint32_t address, std::span<const uint16_t> words);

  // The boot stream: blocks of (U count, U address high, U address low, the data
  // words as S frames and the last one as Y), ended by X 0000.
  Refusal BootHeaderWord(uint16_t value);
  Refusal BootDataWord(uint16_t value, bool lastOfBlock);
  Refusal EndBoot(uint16_t value);
  // Data words of a block are still expected.
  bool InBootBlock() const;
  // Something other than the block's data came: the boot loader has lost count.
  void AbandonBootBlock();

 private:
  enum class BootExpect { Count, AddressHigh, AddressLow, Data, Broken };

  bool InFlash(uint32_t address) const;
  Refusal Unlock(const CsmKeys& keys);
  Refusal BreakBoot(std::string why);
  void LoadWord(uint32_t address, uint16_t value);

  const McuInfo& device_;
  std::vector<uint16_t> flash_;
  std::map<uint32_t, uint16_t> ram_;  // every other address, as far as written
  Stage stage_ = Stage::Running;
  bool unlocked_ = false;
  uint8_t bootCode_ = 0;  // device code of the last boot start

  BootExpect expect_ = BootExpect::Count;
  uint32_t blocks_ = 0;  // blocks streamed since the boot started
  uint32_t blockWords_ = 0;
  uint32_t blockAddress_ = 0;
  uint32_t remaining_ = 0;
};
