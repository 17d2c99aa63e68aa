#include "image/ImageBuilder.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "image/McuCatalogue.h"
#include "image/ProgramImage.h"

namespace {

constexpr std::array<std::string_view, 6> kNeverProgrammed{
    ".stack", "CsmPwlFile", ".debug_frame", ".debug_abbrev", ".debug_info", ".debug_line"};

}  // namespace

bool IsNeverProgrammed(std::string_view sectionName) {
  return std::ranges::find(kNeverProgrammed, sectionName) != kNeverProgrammed.end();
}

std::string AddressName(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", address);
  return text;
}

ImageBuilder::ImageBuilder(ProgramImage& image, McuType mcuType, uint64_t expectedWords)
    : image_(image), mcuType_(mcuType), expectedWords_(expectedWords) {
  image_.Reserve(expectedWords_);
}

ProgramReadResult ImageBuilder::Open(std::string name, uint32_t address) {
  auto section = image_.NewSection();
  if (!section) {
    return ProgramReadResult::OutOfMemory;
  }
  section->name = std::move(name);
  section->address = address;
  section->offset = usedBytes_;
  section->data = image_.words() + usedBytes_ / 2;
  image_.AppendSection(std::move(section));
  return ProgramReadResult::Ok;
}

void ImageBuilder::Restart() {
  image_.Clear();
  image_.Reserve(expectedWords_);
  usedBytes_ = 0;
}

void ImageBuilder::Finish() {
  uint32_t flashOffset = 0;
  for (const auto& section : image_.sections) {
    ClassifySection(section->wordCount, section->address, *section, mcuType_);
    if (section->inFlash) {
      section->offset = flashOffset;
      flashOffset += 2 * section->wordCount;
    }
  }
}
