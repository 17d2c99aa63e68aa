#include "app/ops/OperationOutcome.h"

std::string_view OperationOutcomeName(OperationOutcome outcome) {
  switch (outcome) {
    case OperationOutcome::Done:
      return "Done";
    case OperationOutcome::NoFileGiven:
      return "NoFileGiven";
    case OperationOutcome::FileNotFound:
      return "FileNotFound";
    case OperationOutcome::FileNotLoaded:
      return "FileNotLoaded";
    case OperationOutcome::NoSectionData:
      return "NoSectionData";
    case OperationOutcome::TooManySections:
      return "TooManySections";
    case OperationOutcome::DataTooLarge:
      return "DataTooLarge";
    case OperationOutcome::NoFlashSection:
      return "NoFlashSection";
    case OperationOutcome::BadCsmPassword:
      return "BadCsmPassword";
    case OperationOutcome::DriverNotLoaded:
      return "DriverNotLoaded";
    case OperationOutcome::PodNotFound:
      return "PodNotFound";
    case OperationOutcome::PortFailed:
      return "PortFailed";
    case OperationOutcome::PodNoAnswer:
      return "PodNoAnswer";
    case OperationOutcome::SciBootFailed:
      return "SciBootFailed";
    case OperationOutcome::RamDownloadFailed:
      return "RamDownloadFailed";
    case OperationOutcome::ResetFailed:
      return "ResetFailed";
    case OperationOutcome::FlashAlgorithmFailed:
      return "FlashAlgorithmFailed";
    case OperationOutcome::FlashInitFailed:
      return "FlashInitFailed";
    case OperationOutcome::EraseFailed:
      return "EraseFailed";
    case OperationOutcome::ProgramFailed:
      return "ProgramFailed";
    case OperationOutcome::PodWriteFailed:
      return "PodWriteFailed";
    case OperationOutcome::PodVerifyFailed:
      return "PodVerifyFailed";
    case OperationOutcome::PodInfoFailed:
      return "PodInfoFailed";
  }
  return "Unknown";
}
