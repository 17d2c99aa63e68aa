#include "pod/PodStore.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "image/McuCatalogue.h"
#include "pod/FlashWord.h"

namespace {

// A step of the store or the verify and the result that reports its failure.
struct Step {
  std::function<bool()> run;
  PodStoreResult failure;
};

// Runs the steps in order; the result of the first that fails, or Done. A stop
// the user asked for ends the run before the next step, as that step's failure.
PodStoreResult RunSteps(std::initializer_list<Step> steps, const ProcedureReporter& reporter) {
  for (const Step& step : steps) {
    if (reporter.CancelRequested() || !step.run()) {
      return step.failure;
    }
  }
  return PodStoreResult::Done;
}

// A three-byte number of a reply, high byte first.
uint32_t ReplyNumber(const PodCommands::SectionReply& reply, size_t at) {
  return uint32_t{reply[at]} << 16 | uint32_t{reply[at + 1]} << 8 | reply[at + 2];
}

// The number of stored sections: each has its record on its first run.
size_t RecordCount(const std::vector<PageRun>& plan) {
  return static_cast<size_t>(
      std::ranges::count_if(plan, [](const PageRun& run) { return run.record.has_value(); }));
}

// "store page 3", "compare page 3": what a page was being sent for.
std::string PageContext(bool store, uint16_t page) {
  return (store ? "store page " : "compare page ") + std::to_string(page);
}

}  // namespace

PodTag PodTag::Make(std::string_view name, const std::tm& localTime) {
  PodTag tag;
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes), tag.bytes.begin());
  const auto year = static_cast<uint16_t>(localTime.tm_year + 1900);
  tag.bytes[8] = static_cast<uint8_t>(year >> 8);
  tag.bytes[9] = static_cast<uint8_t>(year & 0xFF);
  tag.bytes[10] = static_cast<uint8_t>(localTime.tm_mon + 1);
  tag.bytes[11] = static_cast<uint8_t>(localTime.tm_mday);
  tag.bytes[12] = static_cast<uint8_t>(localTime.tm_hour);
  tag.bytes[13] = static_cast<uint8_t>(localTime.tm_min);
  return tag;
}

PodTagInfo PodTagInfo::FromReply(const PodCommands::TagReply& reply) {
  PodTagInfo info;
  info.presence = reply[1];
  const auto nameBegin = reply.begin() + 2;
  const auto nameEnd = std::find(nameBegin, nameBegin + PodTag::kNameBytes, 0);
  info.name.assign(nameBegin, nameEnd);
  info.year = static_cast<uint16_t>(reply[10] << 8 | reply[11]);
  info.month = reply[12];
  info.day = reply[13];
  info.hour = reply[14];
  info.minute = reply[15];
  return info;
}

PodStore::PodStore(PodCommands& commands, const ProgramImage& image, McuType mcuType,
                   ProcedureReporter& reporter, std::function<std::tm()> localTime)
    : commands_(commands),
      image_(image),
      mcuType_(mcuType),
      reporter_(reporter),
      localTime_(std::move(localTime)) {}

PodStoreResult PodStore::StorePodImage(bool eraseAll, bool useCsm, std::string_view name) {
  cause_ = {};
  const std::optional<std::vector<PageRun>> plan = PagePlan(image_);
  if (!plan) {
    return PodStoreResult::ProgramWriteFailed;  // more than the POD holds: nothing is sent
  }
  const PodTag tag = PodTag::Make(name, localTime_());
  const uint16_t mask = EraseMask(eraseAll, mcuType_, image_);
  reporter_.SetUpBar(static_cast<int32_t>(image_.flashBytes() / 2));
  const PodStoreResult result = RunSteps(
      {
          {[&] { return BeginAccess(); }, PodStoreResult::AccessFailed},
          {[&] { return StoreProgram(*plan); }, PodStoreResult::ProgramWriteFailed},
          {[&] { return StorePassword(useCsm); }, PodStoreResult::PasswordWriteFailed},
          {[&] { return StoreTag(tag); }, PodStoreResult::TagWriteFailed},
          {[&] { return StoreCoffInfo(useCsm, mask, eraseAll); },
           PodStoreResult::CoffInfoWriteFailed},
          {[&] { return EndAccess(); }, PodStoreResult::FinishFailed},
      },
      reporter_);
  if (result != PodStoreResult::Done) {
    // Tells the POD to drop the half-written copy instead of keeping it.
    commands_.AbortAccess();
  }
  return result;
}

PodStoreResult PodStore::VerifyPodImage() {
  cause_ = {};
  const std::optional<std::vector<PageRun>> plan = PagePlan(image_);
  if (!plan) {
    return PodStoreResult::SectionCountDiffers;  // more than the POD can have stored
  }
  reporter_.SetUpBar(static_cast<int32_t>(image_.flashBytes() / 2));
  PodCommands::CoffInfoReply info{};
  // No abort on failure: a verify has written nothing the POD should drop.
  const PodStoreResult result = RunSteps(
      {
          {[&] { return BeginAccess(); }, PodStoreResult::AccessFailed},
          {[&] { return ReadCoffInfo(info); }, PodStoreResult::CoffInfoReadFailed},
          {[&] { return info[1] == 'w'; }, PodStoreResult::NoStoredProgram},
          {[&] { return info[2] != 0 && info[2] == mcuType_.info().podCode; },
           PodStoreResult::McuTypeDiffers},
          {[&] { return info[6] == RecordCount(*plan); }, PodStoreResult::SectionCountDiffers},
          {[&] { return VerifySections(*plan); }, PodStoreResult::SectionsDiffer},
          // The password is read only when one was stored; nothing is compared
          // with it, the target checks it when the POD programs on its own.
          {[&] { return info[3] == 0 || ReadPassword(); }, PodStoreResult::PasswordReadFailed},
          {[&] { return VerifyProgram(*plan); }, PodStoreResult::ProgramDiffers},
          {[&] { return EndAccess(); }, PodStoreResult::FinishFailed},
      },
      reporter_);
  // Only a reply that came and said no is a difference; silence is a failure
  // of the link.
  const bool compared =
      result == PodStoreResult::SectionsDiffer || result == PodStoreResult::ProgramDiffers;
  if (compared && cause_.failed() && cause_.kind != FailureKind::WrongReply) {
    return PodStoreResult::VerifyLinkFailed;
  }
  return result;
}

bool PodStore::FailedTo(std::string context) {
  cause_ = commands_.FailureIn(std::move(context));
  return false;
}

bool PodStore::BeginAccess() {
  return commands_.BeginAccess() || FailedTo("open the serial flash");
}

bool PodStore::EndAccess() {
  return commands_.EndAccess() || FailedTo("close the serial flash");
}

bool PodStore::ReadPodTag(PodTagInfo& info) {
  PodCommands::TagReply reply{};
  if (!commands_.QueryTag(reply)) {
    return false;
  }
  info = PodTagInfo::FromReply(reply);
  return true;
}

bool PodStore::StoreProgram(const std::vector<PageRun>& plan) {
  reporter_.ShowStep(ProcedureStep::StoringProgram);
  return StreamPages(plan, true);
}

bool PodStore::StorePassword(bool useCsm) {
  reporter_.ShowStep(ProcedureStep::StoringPassword);
  return commands_.SendPassword(useCsm) || FailedTo("store the CSM password");
}

bool PodStore::StoreTag(const PodTag& tag) {
  reporter_.ShowStep(ProcedureStep::StoringTag);
  return commands_.SendTag(tag.bytes) || FailedTo("store the tag");
}

bool PodStore::StoreCoffInfo(bool useCsm, uint16_t sectorMask, bool eraseAll) {
  reporter_.ShowStep(ProcedureStep::StoringCoffInfo);
  return commands_.SendCoffInfo(useCsm, sectorMask, eraseAll) ||
         FailedTo("store the COFF information");
}

bool PodStore::ReadCoffInfo(PodCommands::CoffInfoReply& reply) {
  reporter_.ShowStep(ProcedureStep::ReadingCoffInfo);
  return commands_.QueryCoffInfo(reply) || FailedTo("read the COFF information");
}

bool PodStore::ReadPassword() {
  reporter_.ShowStep(ProcedureStep::ReadingPassword);
  PodCommands::PasswordReply reply{};
  return commands_.QueryPassword(reply) || FailedTo("read the CSM password");
}

bool PodStore::VerifySections(const std::vector<PageRun>& plan) {
  reporter_.ShowStep(ProcedureStep::ReadingSections);
  for (const PageRun& run : plan) {
    if (!run.record) {
      continue;
    }
    const SectionRecord& record = *run.record;
    PodCommands::SectionReply reply{};
    if (!commands_.QuerySectionRecord(record.ordinal, reply)) {
      return FailedTo("read the record of section " + std::to_string(record.ordinal));
    }
    if (ReplyNumber(reply, 1) != record.address || ReplyNumber(reply, 4) != record.wordCount ||
        ReplyNumber(reply, 7) != record.dataOffset) {
      return false;
    }
  }
  return true;
}

bool PodStore::VerifyProgram(const std::vector<PageRun>& plan) {
  reporter_.ShowStep(ProcedureStep::VerifyingProgram);
  return StreamPages(plan, false);
}

bool PodStore::StreamPages(const std::vector<PageRun>& plan, bool store) {
  commands_.ClearPending();
  for (const PageRun& run : plan) {
    if (store && run.record && !SendRecord(*run.record)) {
      return FailedTo("store the record of section " + std::to_string(run.record->ordinal));
    }
    for (size_t i = 0; i < run.words.size(); ++i) {
      const bool pageDone = run.pageBytes != 0 && i + 1 == run.words.size();
      if (commands_.BatchDataWord(FlashWireWord(run.words[i]), pageDone)) {
        if (reporter_.CancelRequested()) {
          return false;
        }
        if (!commands_.FlushPending()) {
          return FailedTo(PageContext(store, run.page));
        }
      }
      reporter_.StepBar();
    }
    if (run.pageBytes != 0) {
      const bool committed = store ? commands_.CommitPage(run.page, run.pageBytes)
                                   : commands_.ComparePage(run.page, run.pageBytes);
      if (!committed) {
        return FailedTo(PageContext(store, run.page));
      }
    }
  }
  return true;
}

bool PodStore::SendRecord(const SectionRecord& record) {
  return commands_.SendSectionRecord(record.ordinal, record.address, record.wordCount,
                                     record.dataOffset);
}
