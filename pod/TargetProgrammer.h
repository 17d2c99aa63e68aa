// The conversation with the POD that puts the loaded program into a target:
// SCI boot, flash algorithm, erase and programming chunk by chunk, reset;
// or, for a program without flash sections, the boot stream into the target's RAM.
#pragma once

#include <cstdint>
#include <string>

#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "pod/PodCommands.h"
#include "pod/ProcedureReporter.h"
#include "pod/ProgramPlans.h"

// What ProgramTarget reports: 0 is success, every other value names the step that failed.
enum class TargetWriteResult : uint8_t {
  Finished = 0,
  SciBootFailed = 1,
  RamDownloadFailed = 2,
  ResetFailed = 3,
  FlashAlgorithmFailed = 4,
  FlashInitFailed = 5,
  EraseFailed = 6,
  ProgramFailed = 7,
};

class TargetProgrammer {
 public:
  // The boot stream carries blocks of at most this many words, each with its own header.
  static constexpr uint32_t kBootBlockWords = 200;

  static constexpr uint32_t kPrepareTimeoutMs = 3000;
  static constexpr uint32_t kEraseTimeoutMs = 20000;
  static constexpr uint32_t kProgramTimeoutMs = 5000;
  static constexpr uint32_t kBootHeaderTimeoutMs = 3000;
  static constexpr uint32_t kBootBlockEndTimeoutMs = 4000;
  static constexpr uint32_t kBootEndTimeoutMs = 3000;

  // All four must outlive this object; the link behind `commands` must be open.
  TargetProgrammer(PodCommands& commands, const ProgramImage& image, McuType mcuType,
                   ProcedureReporter& reporter);

  // Programs the flash sections (flashMode) or downloads the RAM sections. The
  // first failing command ends the run; nothing done before it is undone.
  TargetWriteResult ProgramTarget(bool flashMode, bool eraseAll, bool useCsm);
  // Erases the sectors of `sectorMask` (bit n for sector n) and nothing else,
  // then resets the target: the flash procedure without its programming. The
  // image is not used.
  TargetWriteResult EraseTarget(uint16_t sectorMask, bool useCsm);
  // Why the last run failed, and in which step; kind None after a success.
  const FailureCause& cause() const { return cause_; }

 private:
  // The steps of ProgramTarget; each is true when every command it sent was accepted.
  // Erases the sectors of the erase mask, one sector per command.
  bool EraseFlash(bool eraseAll);
  // Erases the sectors of `mask`, one sector per command.
  bool EraseSectors(uint16_t mask);
  // Programs the flash sections chunk by chunk, as ChunkPlan lays them out.
  bool WriteFlash();
  // Streams every RAM section in list order; the last one closes the boot stream.
  bool DownloadRamSections();
  bool SendRamSection(const ImageSection& section, bool lastSection);
  // Has the POD start the target's boot loader, for flash work or a download.
  bool StartSciBoot(bool useCsm, bool flashMode);
  // Loads the flash algorithm into the booted target and prepares its flash.
  TargetWriteResult StartFlashAlgorithm(bool useCsm);
  // The reset that ends the work on the flash.
  TargetWriteResult ResetAfterFlashWork();
  // O "00"; the one command worth a second attempt, made after discarding
  // whatever the failed first one left on the line.
  bool PrepareFlash();
  // Streams one chunk of flash words and has the POD program them.
  bool ProgramChunk(const WordRun& chunk);
  // One block of the boot stream: its header (size, address) and its words.
  bool SendBootBlock(const WordRun& block);
  // Keeps the link's account of the failed command, seen as part of `context`;
  // always false.
  bool FailedTo(std::string context);

  PodCommands& commands_;
  const ProgramImage& image_;
  McuType mcuType_;
  ProcedureReporter& reporter_;
  FailureCause cause_;
};
