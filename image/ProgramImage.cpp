#include "image/ProgramImage.h"

#include <cstring>
#include <new>

ProgramImage::ProgramImage() : words_(new uint16_t[kBufferWords]) {
  Clear();
}

void ProgramImage::Clear() {
  std::memset(words_.get(), 0xFF, size_t{dirtyWords_} * 2);
  dirtyWords_ = 0;
  sectionCount = 0;
  imageBytes = 0;
  ResetTotals();
  sections.clear();
}

void ProgramImage::ResetTotals() {
  hasFlash = false;
  flashSectorMask = 0;
  flashSectionCount = 0;
  flashListEnd = 0;
  flashBytes = 0;
  ramSectionCount = 0;
  ramBytes = 0;
}

std::unique_ptr<ImageSection> ProgramImage::NewSection() {
  try {
    return std::make_unique<ImageSection>();
  } catch (const std::bad_alloc& e) {
    allocationError = e.what();
    return nullptr;
  }
}

void ProgramImage::AppendSection(std::unique_ptr<ImageSection> section) {
  sections.push_back(std::move(section));
  ++sectionCount;
}

void ProgramImage::Summarize() {
  // Starting from zero makes a second call harmless instead of doubling every total.
  ResetTotals();
  uint32_t flashOffset = 0;
  for (size_t i = 0; i < sections.size(); ++i) {
    ImageSection& section = *sections[i];
    const uint32_t bytes = 2 * section.wordCount;
    if (section.inFlash) {
      hasFlash = true;
      flashSectorMask |= section.sectorMask;
      ++flashSectionCount;
      flashListEnd = static_cast<int32_t>(i + 1);
      flashBytes += bytes;
      section.offset = flashOffset;
      flashOffset += bytes;
    } else {
      ++ramSectionCount;
      ramBytes += bytes;
    }
  }
}
