// Writes the demo's sample program: a small but plausible F2808 flash program
// as TI's tools lay one out. Code in .text at the start of the flash,
// constants in .econst, the initialisation records in .cinit, the load image
// of the RAM functions in ramfuncs, data loaded straight into RAM, the
// password words left erased, and in codestart (0x3F7FF6, where the boot ROM
// jumps in "boot to flash" mode) a long branch to the entry point.
// Usage: bfx-make-sample OUTPUT.out
#include <cstdint>
#include <fstream>
#include <iostream>
#include <vector>

#include "tests/support/CoffWriter.h"

namespace {

constexpr uint32_t kTextAddress = 0x3E8000;
constexpr uint32_t kEntryAddress = kTextAddress;
constexpr uint32_t kEconstAddress = 0x3F0000;
constexpr uint32_t kCinitAddress = 0x3F2000;
constexpr uint32_t kRamfuncsLoadAddress = 0x3F3000;
constexpr uint32_t kCodestartAddress = 0x3F7FF6;
constexpr uint32_t kCalibRamAddress = 0x9000;

// Filler that looks like code: a repeating run of C28x-like opcodes, varied
// by position so that no two chunks of the flash are alike.
std::vector<uint16_t> Code(uint32_t words, uint16_t salt) {
  static constexpr uint16_t kOps[] = {0x7622, 0x28A9, 0x0FFF, 0x761F, 0x0284,
                                      0x56BF, 0x2B24, 0x1EA4, 0x8F3E, 0x0006};
  std::vector<uint16_t> code(words);
  for (uint32_t i = 0; i < words; ++i) {
    code[i] =
        static_cast<uint16_t>(kOps[i % std::size(kOps)] ^ ((i / std::size(kOps)) & 0xFF) ^ salt);
  }
  return code;
}

std::vector<uint16_t> SineTable(uint32_t words) {
  // A quarter sine in Q15 by the parabola approximation: plausible constants.
  std::vector<uint16_t> table(words);
  for (uint32_t i = 0; i < words; ++i) {
    const double x = static_cast<double>(i) / words;
    table[i] = static_cast<uint16_t>(32767.0 * x * (2.0 - x));
  }
  return table;
}

// Uninitialised data takes no room in the file and is not programmed.
CoffSection UninitialisedData() {
  CoffSection ebss;
  ebss.name = ".ebss";
  ebss.address = 0x8000;
  ebss.flags = kCoffBss;
  ebss.wordCount = 512;
  return ebss;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: bfx-make-sample OUTPUT.out\n";
    return 64;
  }
  CoffWriter writer;
  writer.Add(".text", kTextAddress, Code(3000, 0))
      .Add(".econst", kEconstAddress, SineTable(256), kCoffData)
      // Records: length, address (two words), then the initial values.
      .Add(".cinit", kCinitAddress, {0x0002, 0x8000, 0x0000, 0x1234, 0x5678, 0x0000}, kCoffData)
      .Add("ramfuncs", kRamfuncsLoadAddress, Code(120, 0x5A5A))
      // Calibration data placed straight into RAM, as a debugger would load
      // it: a RAM section, which a flash write leaves out.
      .Add("calib_ram", kCalibRamAddress, SineTable(16), kCoffData)
      // LB kEntryAddress: 0x0040 | the address's high 6 bits, then its low 16.
      .Add("codestart", kCodestartAddress,
           {static_cast<uint16_t>(0x0040 | (kEntryAddress >> 16)),
            static_cast<uint16_t>(kEntryAddress & 0xFFFF)})
      .Add(UninitialisedData());
  const std::vector<uint8_t> bytes = writer.Build();
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::cerr << "bfx-make-sample: cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
