// The POD's own copy of a program in its serial flash: storing the flash
// sections, password, tag and COFF information; verifying that copy against
// the loaded program; reading the tag back for the POD's information line.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"
#include "pod/LocalTime.h"
#include "pod/PodCommands.h"
#include "pod/ProcedureReporter.h"
#include "pod/ProgramPlans.h"

// The 14-byte tag stored with a program: the name's first 8 bytes (zero padded),
// the year high byte first, then month, day, hour and minute.
struct PodTag {
  static constexpr size_t kNameBytes = 8;

  PodTagBytes bytes{};

  static PodTag Make(std::string_view name, const std::tm& localTime);
};

// The tag as the POD reports it.
struct PodTagInfo {
  uint8_t presence = 0;  // 1 when a tag is stored
  std::string name;
  uint16_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;

  bool present() const { return presence == 1; }
  // From the J reply, "!" included; the name ends at its first zero byte.
  static PodTagInfo FromReply(const PodCommands::TagReply& reply);
};

// How a store or a verify ended: Done, or the step that failed.
enum class PodStoreResult : uint8_t {
  Done = 0,
  AccessFailed,  // the serial flash could not be opened
  ProgramWriteFailed,
  PasswordWriteFailed,
  TagWriteFailed,
  CoffInfoWriteFailed,
  FinishFailed,  // the serial flash could not be closed
  CoffInfoReadFailed,
  NoStoredProgram,
  McuTypeDiffers,
  SectionCountDiffers,
  SectionsDiffer,
  PasswordReadFailed,
  ProgramDiffers,
  // The POD stopped answering, or the port went, while the copy was compared:
  // nothing is known about the copy.
  VerifyLinkFailed,
};

class PodStore {
 public:
  // The commands, image and reporter must outlive this object; the link behind
  // `commands` must be open. `localTime` dates the tag.
  PodStore(PodCommands& commands, const ProgramImage& image, McuType mcuType,
           ProcedureReporter& reporter, std::function<std::tm()> localTime = LocalTimeNow);

  // Stores the program's flash sections with password, tag and COFF information.
  // On failure it has abandoned the access.
  PodStoreResult StorePodImage(bool eraseAll, bool useCsm, std::string_view name);
  // Compares the stored copy with the program; the first check that failed.
  PodStoreResult VerifyPodImage();
  // Why the last store or verify failed, and in which step; kind None after a
  // success or when the POD's copy merely differs.
  const FailureCause& cause() const { return cause_; }
  // Reads the tag; false when the POD did not answer it.
  bool ReadPodTag(PodTagInfo& info);

 private:
  // The steps of the store and the verify; each is true when the POD accepted
  // every command it sent.
  bool StoreProgram(const std::vector<PageRun>& plan);
  bool StorePassword(bool useCsm);
  bool StoreTag(const PodTag& tag);
  bool StoreCoffInfo(bool useCsm, uint16_t sectorMask, bool eraseAll);
  bool ReadCoffInfo(PodCommands::CoffInfoReply& reply);
  bool ReadPassword();
  // Also false when a stored record differs from its section.
  bool VerifySections(const std::vector<PageRun>& plan);
  // Also false when the POD finds a page different from the program's.
  bool VerifyProgram(const std::vector<PageRun>& plan);
  // Streams the plan's words page by page, committing each page with W (store,
  // with a V record ahead of each section) or comparing it with L.
  bool StreamPages(const std::vector<PageRun>& plan, bool store);
  bool SendRecord(const SectionRecord& record);
  // Keeps the link's account of the failed command, seen as part of `context`;
  // always false.
  bool FailedTo(std::string context);
  bool BeginAccess();
  bool EndAccess();

  PodCommands& commands_;
  const ProgramImage& image_;
  McuType mcuType_;
  ProcedureReporter& reporter_;
  std::function<std::tm()> localTime_;
  FailureCause cause_;
};
