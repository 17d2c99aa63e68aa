#include "tests/emulator/WireHarness.h"

#include <gtest/gtest.h>

#include <cstdio>

std::string Frame(char letter, std::string_view payload) {
  std::string frame(1, kStx);
  frame += letter;
  frame += payload;
  frame += kEtx;
  return frame;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string KeyDigits(const CsmKeys& keys) {
  std::string digits;
  for (const uint16_t key : keys) {
    digits += Hex(key, 4);
  }
  return digits;
}

WireHarness::WireHarness(EmulatorConfig config) : driver(clock, std::move(config)) {}

void WireHarness::Open() {
  ASSERT_TRUE(driver.Load());
  ASSERT_EQ(driver.Open(kPodKey, port), kPortOk);
  ASSERT_EQ(port->Configure(kPodLine), kPortOk);
}

void WireHarness::Send(std::string_view bytes) {
  uint32_t written = 0;
  ASSERT_EQ(port->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), written), kPortOk);
  ASSERT_EQ(written, bytes.size());
}

std::string WireHarness::Received() {
  uint32_t waiting = 0;
  EXPECT_EQ(port->BytesWaiting(waiting), kPortOk);
  std::string bytes(waiting, '\0');
  uint32_t returned = 0;
  EXPECT_EQ(port->Read(bytes.data(), waiting, returned), kPortOk);
  bytes.resize(returned);
  return bytes;
}

void WireHarness::StreamWords(const std::vector<uint16_t>& values) {
  std::string frames;
  for (const uint16_t value : values) {
    frames += Frame('S', Hex(value, 4));
  }
  Send(frames);
}

void WireHarness::PrepareFlash() {
  const std::string code = std::to_string(driver.Target().Device().podCode);
  ASSERT_EQ(Exchange(Frame('N', code)), "!");
  ASSERT_EQ(Exchange(Frame('K', "0" + KeyDigits(kErasedCsmKeys))), "!");
  ASSERT_EQ(Exchange(Frame('O', "00")), "!");
}
