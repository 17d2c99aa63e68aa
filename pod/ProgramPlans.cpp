#include "pod/ProgramPlans.h"

#include <algorithm>
#include <utility>

#include "image/McuCatalogue.h"

namespace {

// The sections a POD store keeps. A section without words has nothing to
// store: it gets no record, so the store, the section count and the verify
// all leave it out alike.
std::vector<const ImageSection*> StoredSections(const ProgramImage& image) {
  std::vector<const ImageSection*> stored;
  const auto end = std::min<size_t>(std::max(image.flashListEnd(), 0), image.sections.size());
  for (size_t i = 0; i < end; ++i) {
    const ImageSection* section = image.sections[i].get();
    if (section != nullptr && section->inFlash && section->wordCount > 0) {
      stored.push_back(section);
    }
  }
  return stored;
}

}  // namespace

std::vector<WordRun> SplitSection(const ImageSection& section, uint32_t maxWords) {
  std::vector<WordRun> runs;
  for (uint32_t done = 0; done < section.wordCount; done += maxWords) {
    const uint32_t count = std::min(maxWords, section.wordCount - done);
    runs.push_back({section.address + done, std::span(section.data + done, count)});
  }
  return runs;
}

std::vector<WordRun> ChunkPlan(const ProgramImage& image) {
  std::vector<WordRun> chunks;
  for (const auto& section : image.sections) {
    if (section != nullptr && section->inFlash) {
      const std::vector<WordRun> runs = SplitSection(*section, kFlashChunkWords);
      chunks.insert(chunks.end(), runs.begin(), runs.end());
    }
  }
  return chunks;
}

std::optional<std::vector<PageRun>> PagePlan(const ProgramImage& image) {
  const std::vector<const ImageSection*> stored = StoredSections(image);
  uint64_t bytesLeft = 0;
  for (const ImageSection* section : stored) {
    bytesLeft += 2ull * section->wordCount;
  }
  if (stored.size() > kPodMaxSections || bytesLeft > kPodMaxBytes) {
    return std::nullopt;
  }
  std::vector<PageRun> plan;
  uint16_t page = 0;
  uint16_t pageFill = 0;
  for (size_t ordinal = 0; ordinal < stored.size(); ++ordinal) {
    const ImageSection& section = *stored[ordinal];
    std::optional<SectionRecord> record = SectionRecord{
        static_cast<uint8_t>(ordinal), section.address, section.wordCount, section.offset};
    for (uint32_t done = 0; done < section.wordCount;) {
      const uint32_t count =
          std::min<uint32_t>(section.wordCount - done, (kPodPageBytes - pageFill) / 2);
      PageRun run{std::exchange(record, std::nullopt), page, std::span(section.data + done, count),
                  0};
      done += count;
      pageFill = static_cast<uint16_t>(pageFill + 2 * count);
      bytesLeft -= 2 * count;
      if (pageFill == kPodPageBytes || bytesLeft == 0) {
        run.pageBytes = pageFill;
        ++page;
        pageFill = 0;
      }
      plan.push_back(run);
    }
  }
  return plan;
}
