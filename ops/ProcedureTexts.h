// What the status line says while the POD procedures run and when a store or
// verify fails: the one place where their steps and results become words.
#pragma once

#include <string_view>

#include "image/OutcomeTable.h"
#include "pod/PodStore.h"
#include "pod/ProcedureReporter.h"

struct StepText {
  ProcedureStep step;
  std::string_view text;
};

inline constexpr StepText kProcedureStepTexts[] = {
    {ProcedureStep::StartingSciBoot, "Starting SCI Boot..."},
    {ProcedureStep::DownloadingProgram, "Downloading User Program..."},
    {ProcedureStep::DownloadingFlashAlgorithm, "Downloading Flash Algorithm Code [Max: 10 sec]..."},
    {ProcedureStep::InitializingFlash, "Initializing target board for flash memory write..."},
    {ProcedureStep::ErasingFlash, "Erasing Flash Memory..."},
    {ProcedureStep::WritingFlash, "Writing Flash Memory..."},
    {ProcedureStep::StoringProgram, "Writing user program in serial flash..."},
    {ProcedureStep::StoringPassword, "Writing CSM password information..."},
    {ProcedureStep::StoringTag, "Writing tag data information..."},
    {ProcedureStep::StoringCoffInfo, "Writing COFF file information..."},
    {ProcedureStep::ReadingCoffInfo, "Reading COFF information in serial flash..."},
    {ProcedureStep::ReadingPassword, "Reading CSM Password information in serial flash..."},
    {ProcedureStep::ReadingSections, "Reading section information in serial flash..."},
    {ProcedureStep::VerifyingProgram, "Verifying user program in serial flash..."},
};

// clang-format off
inline constexpr OutcomeRow<PodStoreResult> kPodStoreOutcomes[] = {
    {PodStoreResult::Done, "Done", ""},
    {PodStoreResult::AccessFailed, "AccessFailed", "", "Fail to access serial flash in Brontaflex POD"},
    {PodStoreResult::ProgramWriteFailed, "ProgramWriteFailed", "", "Fail to write user program in serial flash"},
    {PodStoreResult::PasswordWriteFailed, "PasswordWriteFailed", "", "Fail to write csm password information"},
    {PodStoreResult::TagWriteFailed, "TagWriteFailed", "", "Fail to write tag information"},
    {PodStoreResult::CoffInfoWriteFailed, "CoffInfoWriteFailed", "", "Fail to write COFF file information"},
    {PodStoreResult::FinishFailed, "FinishFailed", "", "Fail to finish access to serial flash"},
    {PodStoreResult::CoffInfoReadFailed, "CoffInfoReadFailed", "", "Fail to read COFF information"},
    {PodStoreResult::NoStoredProgram, "NoStoredProgram", "", "There is no COFF file data in serial flash"},
    {PodStoreResult::McuTypeDiffers, "McuTypeDiffers", "", "The selected MCU type is not same in serial flash"},
    {PodStoreResult::SectionCountDiffers, "SectionCountDiffers", "", "The selected COFF file is not same in serial flash"},
    {PodStoreResult::SectionsDiffer, "SectionsDiffer", "", "The selected COFF file section is not same in serial flash"},
    {PodStoreResult::PasswordReadFailed, "PasswordReadFailed", "", "Fail to read CSM password information in serial flash"},
    {PodStoreResult::ProgramDiffers, "ProgramDiffers", "", "The selected COFF file data is not same in serial flash"},
    {PodStoreResult::VerifyLinkFailed, "VerifyLinkFailed", "", "Fail to communicate with Brontaflex POD while verifying serial flash"},
};
// clang-format on
static_assert(OutcomesAreDistinct(kPodStoreOutcomes));

constexpr std::string_view ProcedureStepText(ProcedureStep step) {
  for (const StepText& row : kProcedureStepTexts) {
    if (row.step == step) {
      return row.text;
    }
  }
  return {};
}

constexpr std::string_view PodStoreMessage(PodStoreResult result) {
  return FindOutcomeRow(kPodStoreOutcomes, result).message;
}
