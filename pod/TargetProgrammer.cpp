#include "pod/TargetProgrammer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <utility>

#include "image/McuCatalogue.h"
#include "pod/FlashWord.h"
#include "pod/ProgramPlans.h"

namespace {

// "program 40 words at 0x3F4000": what a piece of a section was being sent for.
std::string PieceContext(const char* what, size_t words, uint32_t address) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %zu words at 0x%06X", what, words,
                static_cast<unsigned>(address));
  return text;
}

}  // namespace

TargetProgrammer::TargetProgrammer(PodCommands& commands, const ProgramImage& image,
                                   McuType mcuType, ProcedureReporter& reporter)
    : commands_(commands), image_(image), mcuType_(mcuType), reporter_(reporter) {}

TargetWriteResult TargetProgrammer::ProgramTarget(bool flashMode, bool eraseAll, bool useCsm) {
  cause_ = {};
  if (!StartSciBoot(useCsm, flashMode)) {
    return TargetWriteResult::SciBootFailed;
  }

  if (!flashMode) {
    reporter_.SetUpBar(static_cast<int32_t>(image_.ramBytes() / 2));
    reporter_.ShowStep(ProcedureStep::DownloadingProgram);
    return DownloadRamSections() ? TargetWriteResult::Finished
                                 : TargetWriteResult::RamDownloadFailed;
  }

  if (const TargetWriteResult ready = StartFlashAlgorithm(useCsm);
      ready != TargetWriteResult::Finished) {
    return ready;
  }
  if (!EraseFlash(eraseAll)) {
    return TargetWriteResult::EraseFailed;
  }
  reporter_.SetUpBar(static_cast<int32_t>(image_.flashBytes() / 2));
  if (!WriteFlash()) {
    return TargetWriteResult::ProgramFailed;
  }
  return ResetAfterFlashWork();
}

TargetWriteResult TargetProgrammer::EraseTarget(uint16_t sectorMask, bool useCsm) {
  cause_ = {};
  if (!StartSciBoot(useCsm, true)) {
    return TargetWriteResult::SciBootFailed;
  }
  if (const TargetWriteResult ready = StartFlashAlgorithm(useCsm);
      ready != TargetWriteResult::Finished) {
    return ready;
  }
  if (!EraseSectors(sectorMask)) {
    return TargetWriteResult::EraseFailed;
  }
  return ResetAfterFlashWork();
}

bool TargetProgrammer::StartSciBoot(bool useCsm, bool flashMode) {
  reporter_.ShowStep(ProcedureStep::StartingSciBoot);
  return commands_.StartSciBoot(useCsm, flashMode) || FailedTo("start the SCI boot");
}

TargetWriteResult TargetProgrammer::StartFlashAlgorithm(bool useCsm) {
  reporter_.ShowStep(ProcedureStep::DownloadingFlashAlgorithm);
  if (!commands_.LoadFlashAlgorithm(useCsm)) {
    FailedTo("load the flash algorithm");
    return TargetWriteResult::FlashAlgorithmFailed;
  }
  reporter_.ShowStep(ProcedureStep::InitializingFlash);
  if (!PrepareFlash()) {
    FailedTo("prepare the flash");
    return TargetWriteResult::FlashInitFailed;
  }
  return TargetWriteResult::Finished;
}

TargetWriteResult TargetProgrammer::ResetAfterFlashWork() {
  if (!commands_.ResetTarget()) {
    FailedTo("reset the target");
    return TargetWriteResult::ResetFailed;
  }
  return TargetWriteResult::Finished;
}

bool TargetProgrammer::FailedTo(std::string context) {
  cause_ = commands_.FailureIn(std::move(context));
  return false;
}

bool TargetProgrammer::PrepareFlash() {
  if (commands_.PrepareFlash(kPrepareTimeoutMs)) {
    return true;
  }
  commands_.link().Purge();
  return commands_.PrepareFlash(kPrepareTimeoutMs);
}

bool TargetProgrammer::EraseFlash(bool eraseAll) {
  return EraseSectors(EraseMask(eraseAll, mcuType_, image_));
}

bool TargetProgrammer::EraseSectors(uint16_t mask) {
  reporter_.ShowStep(ProcedureStep::ErasingFlash);
  reporter_.SetUpBar(std::popcount(static_cast<uint8_t>(mask)));
  for (unsigned sector = 0; sector < 8; ++sector) {
    const auto bit = static_cast<uint16_t>(1u << sector);
    if ((mask & bit) == 0) {
      continue;
    }
    if (reporter_.CancelRequested()) {
      return false;
    }
    if (!commands_.EraseSectors(bit, kEraseTimeoutMs)) {
      return FailedTo(std::string("erase sector ") + static_cast<char>('A' + sector));
    }
    reporter_.StepBar();
  }
  return true;
}

bool TargetProgrammer::WriteFlash() {
  reporter_.ShowStep(ProcedureStep::WritingFlash);
  commands_.ClearPending();
  for (const WordRun& chunk : ChunkPlan(image_)) {
    // Nothing more goes to a target that was asked to stop: a chunk half sent
    // would only be dropped by the POD.
    if (reporter_.CancelRequested()) {
      return false;
    }
    if (!ProgramChunk(chunk)) {
      return FailedTo(PieceContext("program", chunk.words.size(), chunk.address));
    }
  }
  return true;
}

bool TargetProgrammer::ProgramChunk(const WordRun& chunk) {
  // The chunk's last word writes the whole chunk out, so the POD holds all of
  // it before it is told to program.
  for (size_t i = 0; i < chunk.words.size(); ++i) {
    if (!commands_.StreamFlashWord(FlashWireWord(chunk.words[i]), i + 1 == chunk.words.size())) {
      return false;
    }
    reporter_.StepBar();
  }
  return commands_.ProgramWords(chunk.address, static_cast<uint16_t>(chunk.words.size()),
                                kProgramTimeoutMs);
}

bool TargetProgrammer::DownloadRamSections() {
  commands_.ClearPending();
  // The boot stream ends after the last RAM section that has words; an empty
  // section sends nothing, so it cannot be the one to close the stream.
  const auto last = std::find_if(
      image_.sections.rbegin(), image_.sections.rend(),
      [](const auto& section) { return section && !section->inFlash && section->wordCount > 0; });
  const ImageSection* lastSection = last == image_.sections.rend() ? nullptr : last->get();
  for (const auto& section : image_.sections) {
    if (!section) {
      return false;
    }
    if (section->inFlash || section->wordCount == 0) {
      continue;
    }
    if (!SendRamSection(*section, section.get() == lastSection)) {
      return false;
    }
  }
  return true;
}

bool TargetProgrammer::SendRamSection(const ImageSection& section, bool lastSection) {
  for (const WordRun& block : SplitSection(section, kBootBlockWords)) {
    if (reporter_.CancelRequested()) {
      return false;
    }
    if (!SendBootBlock(block)) {
      return FailedTo(PieceContext("boot block of", block.words.size(), block.address));
    }
  }
  return !lastSection || commands_.EndBootStream(kBootEndTimeoutMs) ||
         FailedTo("end the boot stream");
}

bool TargetProgrammer::SendBootBlock(const WordRun& block) {
  const std::span<const uint16_t> words = block.words;
  if (!commands_.SendBootHeaderWord(static_cast<uint16_t>(words.size()), kBootHeaderTimeoutMs) ||
      !commands_.SendBootAddress(block.address, kBootHeaderTimeoutMs)) {
    return false;
  }
  // The boot loader takes RAM words as they are; the block's last word goes as
  // Y, which writes the batch out and waits for the block to be acknowledged.
  for (size_t i = 0; i < words.size(); ++i) {
    const bool sent = i + 1 == words.size()
                          ? commands_.SendBootLastWord(words[i], kBootBlockEndTimeoutMs)
                          : commands_.SendBootDataWord(words[i]);
    if (!sent) {
      return false;
    }
    reporter_.StepBar();
  }
  return true;
}
