#include "tests/support/ScratchDir.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "image/Utf8Path.h"

ScratchDir::ScratchDir() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("bfx-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::filesystem::path file = path_ / PathFromUtf8(name);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + Utf8FromPath(file));
  }
  return Utf8FromPath(file);
}
