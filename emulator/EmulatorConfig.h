// How an emulated POD is set up: what the USB enumeration shows, the firmware
// and target it plays, and the optional model of time on the wire.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/McuCatalogue.h"

// Time the line and the POD take. Off by default: every reply is then ready the
// moment its frame has been written, which is what functional tests want.
// Benchmarks switch it on to see how long a session takes on a real line.
// The POD's serial line: 921600 baud, 8 data bits, 1 stop bit, no parity.
inline constexpr uint32_t kPodBaud = 921600;

struct WireTiming {
  bool enabled = false;
  // Handling of any frame, on top of the work of the command itself.
  uint32_t frameUs = 20;
  uint32_t bootStartUs = 100'000;      // N, M: reset into the SCI boot loader
  uint32_t algorithmLoadUs = 400'000;  // K: the flash algorithm through the boot loader
  uint32_t prepareUs = 10'000;         // O 00
  uint32_t sectorEraseUs = 500'000;    // O 01, per sector
  uint32_t programWordUs = 40;         // O 02, per word
  uint32_t pageWriteUs = 20'000;       // W: erase and write one serial-flash page
  uint32_t pageCompareUs = 400;        // L
  uint32_t resetUs = 50'000;           // R

  // Nanoseconds one byte takes on the line: 10 bits (start, 8 data, stop).
  uint64_t ByteNs() const { return enabled ? 10'000'000'000ull / kPodBaud : 0; }
};

struct PodConfig {
  // The five characters after the "!" of the version reply.
  std::string firmwareVersion = "QZV11";
  // The device on the target board (McuType).
  McuType targetMcuType = kDefaultMcuType;
  // Where the serial-flash store lives between runs (UTF-8); empty keeps it in
  // memory.
  std::string statePath;
  // Long sessions (benchmarks) may do without the transcript.
  bool keepTranscript = true;
};

struct EmulatorConfig {
  // The descriptions the enumeration lists, in order. The POD is the device at
  // podIndex; the others are FTDI devices of other programs, listed but busy.
  std::vector<std::string> devices{"Brontaflex POD"};
  std::optional<size_t> podIndex = 0;
  // The serial numbers of the devices, in the same order; a device without one
  // here reports "FT" and its index, as a bridge of another make might.
  std::vector<std::string> serialNumbers{"BFX00001"};
  // The bridge's latency timer when it is plugged in (the FTDI default).
  uint8_t initialLatencyMs = 16;
  PodConfig pod;
  WireTiming timing;

  std::string SerialNumberOf(size_t device) const {
    return device < serialNumbers.size() ? serialNumbers[device] : "FT" + std::to_string(device);
  }
};
