#include "tests/procedures/ProcedureTest.h"

#include <algorithm>
#include <sstream>

#include "image/CoffReader.h"
#include "image/McuCatalogue.h"
#include "tests/support/TestTime.h"

std::vector<uint16_t> Pattern(size_t count, uint16_t seed) {
  std::vector<uint16_t> words(count);
  for (size_t i = 0; i < count; ++i) {
    const auto low = static_cast<uint8_t>(seed + 3 * i);
    const auto high = static_cast<uint8_t>(low ^ 0xA5);
    words[i] = static_cast<uint16_t>(high << 8 | low);
  }
  return words;
}

std::vector<std::string> Condense(const std::vector<std::string>& frames) {
  std::vector<std::string> out;
  size_t dataRun = 0;
  const auto endRun = [&] {
    if (dataRun > 0) {
      out.push_back("S*" + std::to_string(dataRun));
      dataRun = 0;
    }
  };
  for (const std::string& frame : frames) {
    const std::string body = frame.size() >= 2 ? frame.substr(1, frame.size() - 2) : frame;
    if (body.starts_with('S')) {
      ++dataRun;
      continue;
    }
    endRun();
    out.push_back(body);
  }
  endRun();
  return out;
}

std::vector<std::string> Condense(std::string_view bytes) {
  std::vector<std::string> frames;
  while (!bytes.empty()) {
    const size_t end = bytes.find(PodCommands::kEtx);
    frames.emplace_back(bytes.substr(0, end == std::string_view::npos ? end : end + 1));
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  }
  return Condense(frames);
}

void ProcedureTest::Load(const CoffWriter& coff, McuType mcu) {
  mcuType = mcu;
  const std::vector<uint8_t> bytes = coff.Build();
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  ASSERT_EQ(ReadCoffStream(in, mcu, image), ProgramReadResult::Ok);
}

void ProcedureTest::AddSection(uint32_t address, const std::vector<uint16_t>& words) {
  const uint32_t bufferOffset = image.imageBytes();
  auto section = image.NewSection();
  section->address = address;
  section->wordCount = static_cast<uint32_t>(words.size());
  uint16_t* data = image.WordsForWriting(bufferOffset, section->wordCount);
  std::copy(words.begin(), words.end(), data);
  section->data = data;
  ClassifySection(section->wordCount, address, *section, mcuType);
  // As a reader leaves it: flash sections packed one after another.
  section->offset = section->inFlash ? image.flashBytes() : bufferOffset;
  image.AppendSection(std::move(section));
}

PodCommands& ProcedureTest::Commands() {
  commands = std::make_unique<PodCommands>(*link, PodTarget{mcuType, keys});
  return *commands;
}

TargetWriteResult ProcedureTest::ProgramTarget(bool eraseAll, bool useCsm) {
  TargetProgrammer programmer(Commands(), image, mcuType, reporter);
  return programmer.ProgramTarget(image.hasFlash(), eraseAll, useCsm);
}

PodStore ProcedureTest::Store() {
  return PodStore(Commands(), image, mcuType, reporter,
                  [] { return LocalTimeAt(2006, 12, 20, 14, 5, 42); });
}

void FakeWireTest::SetUp() {
  // A write that ends with a frame of a command with a reply is answered;
  // data words and the serial-flash brackets are not.
  fake.onWrite = [this](std::string_view bytes) {
    const size_t lastFrame = bytes.rfind(PodCommands::kStx);
    const char letter = lastFrame + 1 < bytes.size() ? bytes[lastFrame + 1] : 0;
    if (std::string_view("SGHi").find(letter) == std::string_view::npos) {
      fake.QueueReply("!");
    }
  };
  link = std::make_unique<PodLink>(fake, clock);
  ASSERT_TRUE(link->LoadDriver());
  ASSERT_TRUE(link->Find());
  ASSERT_EQ(PodCommands::OpenPod(*link), OpenStatus::Ok);
  fake.writes.clear();
  fake.calls.clear();
}

std::vector<std::string> FakeWireTest::Writes() const {
  std::vector<std::string> out;
  for (const std::string& write : fake.writes) {
    std::string joined;
    for (const std::string& frame : Condense(write)) {
      joined += (joined.empty() ? "" : " ") + frame;
    }
    out.push_back(joined);
  }
  return out;
}

void EmulatorTest::Connect(McuType targetMcu) {
  EmulatorConfig config;
  config.pod.targetMcuType = targetMcu;
  // The link of an earlier connection still refers to the old driver.
  commands.reset();
  link.reset();
  driver = std::make_unique<EmulatorDriver>(clock, config);
  link = std::make_unique<PodLink>(*driver, clock);
  ASSERT_TRUE(link->LoadDriver());
  ASSERT_TRUE(link->Find());
  ASSERT_EQ(PodCommands::OpenPod(*link), OpenStatus::Ok);
  transcriptStart = driver->Transcript().size();
}

std::vector<std::string> EmulatorTest::RawFrames() const {
  std::vector<std::string> frames;
  const auto& transcript = driver->Transcript();
  for (size_t i = transcriptStart; i < transcript.size(); ++i) {
    if (transcript[i].kind != TranscriptEntry::Kind::Junk) {
      frames.push_back(transcript[i].frame);
    }
  }
  return frames;
}

std::vector<std::string> EmulatorTest::Frames() const {
  return Condense(RawFrames());
}

void EmulatorTest::ForEachFrameFault(const std::vector<std::string>& clean,
                                     const std::function<void()>& prepare,
                                     const FaultCheck& check) {
  for (size_t k = 0; k < clean.size(); ++k) {
    const std::string body = clean[k].substr(1, clean[k].size() - 2);
    for (FaultKind kind : {FaultKind::NoReply, FaultKind::WrongFirstByte, FaultKind::ShortReply,
                           FaultKind::Unplug}) {
      SCOPED_TRACE("frame " + std::to_string(k) + " " + body + ", fault " +
                   std::to_string(static_cast<int>(kind)));
      prepare();
      driver->Faults().Add(FaultTrigger::AtFrame(NextFrameNumber() + static_cast<uint32_t>(k)),
                           Fault{kind});
      check(k, body, kind);
    }
  }
}

uint32_t EmulatorTest::NextFrameNumber() const {
  const auto& transcript = driver->Transcript();
  return 1 + static_cast<uint32_t>(std::count_if(
                 transcript.begin(), transcript.end(),
                 [](const auto& entry) { return entry.kind != TranscriptEntry::Kind::Junk; }));
}
