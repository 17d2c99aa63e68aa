#include "image/DurableFile.h"

#include <filesystem>

#include "image/Utf8Path.h"

namespace fs = std::filesystem;

void RemoveStaleTemporaries(const std::string& path) {
  const fs::path file = PathFromUtf8(path);
  const std::string prefix = Utf8FromPath(file.filename()) + std::string(kTemporaryInfix);
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = Utf8FromPath(it->path().filename());
    if (name.size() == prefix.size() + kTemporarySuffixLength && name.starts_with(prefix)) {
      fs::remove(it->path(), error);
    }
  }
}
