#include "image/ProgramImage.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

namespace {

bool InFlash(const std::unique_ptr<ImageSection>& section) {
  return section->inFlash;
}

// The bytes of the sections that `counted` accepts.
template <typename Predicate>
uint32_t BytesOf(const std::vector<std::unique_ptr<ImageSection>>& sections, Predicate counted) {
  uint32_t bytes = 0;
  for (const auto& section : sections) {
    if (counted(section)) {
      bytes += 2 * section->wordCount;
    }
  }
  return bytes;
}

}  // namespace

void ProgramImage::Clear() {
  words_.reset();
  capacity_ = 0;
  heldWords_ = 0;
  sections.clear();
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
}

uint32_t ProgramImage::imageBytes() const {
  return BytesOf(sections, [](const auto&) { return true; });
}

uint16_t ProgramImage::flashSectorMask() const {
  uint16_t mask = 0;
  for (const auto& section : sections) {
    if (section->inFlash) {
      mask |= section->sectorMask;
    }
  }
  return mask;
}

uint16_t ProgramImage::flashSectionCount() const {
  return static_cast<uint16_t>(std::ranges::count_if(sections, InFlash));
}

int32_t ProgramImage::flashListEnd() const {
  const auto last = std::ranges::find_if(sections.rbegin(), sections.rend(), InFlash);
  return static_cast<int32_t>(sections.rend() - last);
}

uint32_t ProgramImage::flashBytes() const {
  return BytesOf(sections, InFlash);
}

void ProgramImage::Reserve(uint64_t count) {
  const auto capacity = static_cast<uint32_t>(std::min<uint64_t>(count, kBufferWords));
  if (capacity > capacity_) {
    Reallocate(capacity);
  }
}

void ProgramImage::Grow(uint32_t endWord) {
  // Doubling keeps a program read in many small pieces from moving its
  // words more than about once in all.
  Reallocate(std::clamp(2 * capacity_, endWord, kBufferWords));
}

void ProgramImage::Reallocate(uint32_t capacity) {
  auto moved = std::make_unique_for_overwrite<uint16_t[]>(capacity);
  const uint16_t* const from = words_.get();
  // Plain byte copies: a word loop would cost a fuzzing build a call per word.
  if (heldWords_ > 0) {
    std::memcpy(moved.get(), from, size_t{2} * heldWords_);
  }
  std::memset(moved.get() + heldWords_, 0xFF, size_t{2} * (capacity - heldWords_));
  // A section opened at the end of the held words points just past them.
  const std::less_equal<const uint16_t*> notAfter;
  for (const auto& section : sections) {
    if (notAfter(from, section->data) && notAfter(section->data, from + heldWords_)) {
      section->data = moved.get() + (section->data - from);
    }
  }
  words_ = std::move(moved);
  capacity_ = capacity;
}

std::unique_ptr<ProgramImage> CopyOf(const ProgramImage& image) {
  auto copy = std::make_unique<ProgramImage>();
  copy->Reserve(image.heldWords());
  uint16_t* const words = copy->WordsForWriting(0, image.heldWords());
  if (image.heldWords() > 0) {
    std::memcpy(words, image.words(), size_t{2} * image.heldWords());
  }
  for (const auto& section : image.sections) {
    auto copied = std::make_unique<ImageSection>(*section);
    if (section->data != nullptr) {
      copied->data = words + (section->data - image.words());
    }
    copy->sections.push_back(std::move(copied));
  }
  return copy;
}

std::shared_ptr<const ProgramImage> NoProgramImage() {
  static const auto none = std::make_shared<const ProgramImage>();
  return none;
}
