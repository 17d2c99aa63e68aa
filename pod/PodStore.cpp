#include "pod/PodStore.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "image/McuCatalogue.h"
#include "pod/FlashWord.h"

namespace {

// Section ordinals travel as two hexadecimal digits.
constexpr uint32_t kMaxOrdinal = 0xFF;

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

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

PodStore::PodStore(PodCommands& commands, const ProgramImage& image, uint8_t mcuType,
                   ProcedureReporter& reporter, std::function<std::tm()> localTime)
    : commands_(commands),
      image_(image),
      mcuType_(mcuType),
      reporter_(reporter),
      localTime_(std::move(localTime)) {}

PodStoreResult PodStore::StorePodImage(bool eraseAll, bool useCsm, std::string_view name) {
  cause_ = {};
  const PodTag tag = PodTag::Make(name, localTime_());
  const uint16_t mask = EraseMask(eraseAll, mcuType_, image_);
  reporter_.SetUpBar(static_cast<int32_t>(image_.flashBytes / 2));
  const PodStoreResult result = RunSteps(
      {
          {[&] { return BeginAccess(); }, PodStoreResult::AccessFailed},
          {[&] { return StoreProgram(); }, PodStoreResult::ProgramWriteFailed},
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
  reporter_.SetUpBar(static_cast<int32_t>(image_.flashBytes / 2));
  PodCommands::CoffInfoReply info{};
  // No abort on failure: a verify has written nothing the POD should drop.
  return RunSteps(
      {
          {[&] { return BeginAccess(); }, PodStoreResult::AccessFailed},
          {[&] { return ReadCoffInfo(info); }, PodStoreResult::CoffInfoReadFailed},
          {[&] { return info[1] == 'w'; }, PodStoreResult::NoStoredProgram},
          {[&] { return info[2] != 0 && info[2] == McuEntry(mcuType_).podCode; },
           PodStoreResult::McuTypeDiffers},
          {[&] { return info[6] == (StoredSectionCount() & 0xFF); },
           PodStoreResult::SectionCountDiffers},
          {[&] { return VerifySections(); }, PodStoreResult::SectionsDiffer},
          // The password is read only when one was stored; nothing is compared
          // with it, the target checks it when the POD programs on its own.
          {[&] { return info[3] == 0 || ReadPassword(); }, PodStoreResult::PasswordReadFailed},
          {[&] { return VerifyProgram(); }, PodStoreResult::ProgramDiffers},
          {[&] { return EndAccess(); }, PodStoreResult::FinishFailed},
      },
      reporter_);
}

bool PodStore::Blame(std::string context) {
  cause_ = commands_.FailureIn(std::move(context));
  return false;
}

bool PodStore::BeginAccess() {
  return commands_.BeginAccess() || Blame("open the serial flash");
}

bool PodStore::EndAccess() {
  return commands_.EndAccess() || Blame("close the serial flash");
}

bool PodStore::ReadPodTag(PodTagInfo& info) {
  PodCommands::TagReply reply{};
  if (!commands_.QueryTag(reply)) {
    return false;
  }
  info = PodTagInfo::FromReply(reply);
  return true;
}

bool PodStore::StoreProgram() {
  reporter_.ShowStep(ProcedureStep::StoringProgram);
  return StreamPages(true);
}

bool PodStore::StorePassword(bool useCsm) {
  reporter_.ShowStep(ProcedureStep::StoringPassword);
  return commands_.SendPassword(useCsm) || Blame("store the CSM password");
}

bool PodStore::StoreTag(const PodTag& tag) {
  reporter_.ShowStep(ProcedureStep::StoringTag);
  return commands_.SendTag(tag.bytes) || Blame("store the tag");
}

bool PodStore::StoreCoffInfo(bool useCsm, uint16_t sectorMask, bool eraseAll) {
  reporter_.ShowStep(ProcedureStep::StoringCoffInfo);
  return commands_.SendCoffInfo(useCsm, sectorMask, eraseAll) ||
         Blame("store the COFF information");
}

bool PodStore::ReadCoffInfo(PodCommands::CoffInfoReply& reply) {
  reporter_.ShowStep(ProcedureStep::ReadingCoffInfo);
  return commands_.QueryCoffInfo(reply) || Blame("read the COFF information");
}

bool PodStore::ReadPassword() {
  reporter_.ShowStep(ProcedureStep::ReadingPassword);
  PodCommands::PasswordReply reply{};
  return commands_.QueryPassword(reply) || Blame("read the CSM password");
}

bool PodStore::VerifySections() {
  reporter_.ShowStep(ProcedureStep::ReadingSections);
  uint32_t ordinal = 0;
  return ForEachStoredSection([&](const ImageSection& section) {
    PodCommands::SectionReply reply{};
    if (ordinal > kMaxOrdinal) {
      return false;
    }
    if (!commands_.QuerySectionRecord(static_cast<uint8_t>(ordinal), reply)) {
      return Blame("read the record of section " + std::to_string(ordinal));
    }
    ++ordinal;
    return ReplyNumber(reply, 1) == section.address && ReplyNumber(reply, 4) == section.wordCount &&
           ReplyNumber(reply, 7) == section.offset;
  });
}

bool PodStore::VerifyProgram() {
  reporter_.ShowStep(ProcedureStep::VerifyingProgram);
  return StreamPages(false);
}

uint16_t PodStore::StoredSectionCount() const {
  uint16_t count = 0;
  ForEachStoredSection([&count](const ImageSection&) {
    ++count;
    return true;
  });
  return count;
}

bool PodStore::ForEachStoredSection(const std::function<bool(const ImageSection&)>& visit) const {
  // A section without words has nothing to store: it gets no record, so the
  // store, the section count and the verify all leave it out alike.
  const auto end = std::min<size_t>(std::max(image_.flashListEnd, 0), image_.sections.size());
  for (size_t i = 0; i < end; ++i) {
    const ImageSection* section = image_.sections[i].get();
    if (section != nullptr && section->inFlash && section->wordCount > 0 && !visit(*section)) {
      return false;
    }
  }
  return true;
}

bool PodStore::StreamPages(bool store) {
  // The data of all stored sections run on as one stream: a page may end in the
  // next section, and only the stream's very last word ends a short page.
  uint32_t wordsLeft = 0;
  ForEachStoredSection([&wordsLeft](const ImageSection& section) {
    wordsLeft += section.wordCount;
    return true;
  });
  uint32_t ordinal = 0;
  uint16_t page = 0;
  uint16_t pageBytes = 0;
  commands_.ClearPending();
  return ForEachStoredSection([&](const ImageSection& section) {
    if (store && (ordinal > kMaxOrdinal ||
                  !commands_.SendSectionRecord(static_cast<uint8_t>(ordinal), section.address,
                                               section.wordCount, section.offset))) {
      return Blame("store the record of section " + std::to_string(ordinal));
    }
    ++ordinal;
    for (uint32_t i = 0; i < section.wordCount; ++i) {
      commands_.AppendDataWord(FlashWireWord(section.data[i]));
      pageBytes += 2;
      --wordsLeft;
      const bool pageDone = pageBytes == kPageBytes || wordsLeft == 0;
      if (pageDone || commands_.pending().size() >= PodCommands::kFlushThreshold) {
        if (reporter_.CancelRequested()) {
          return false;
        }
        if (!commands_.FlushPending()) {
          return Blame(PageContext(store, page));
        }
      }
      reporter_.StepBar();
      if (pageDone) {
        const bool committed =
            store ? commands_.CommitPage(page, pageBytes) : commands_.ComparePage(page, pageBytes);
        if (!committed) {
          return Blame(PageContext(store, page));
        }
        ++page;
        pageBytes = 0;
      }
    }
    return true;
  });
}
