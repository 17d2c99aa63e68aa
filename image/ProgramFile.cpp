#include "image/ProgramFile.h"

#include <new>
#include <system_error>

#include "image/ProgramImage.h"

ProgramReadResult OpenProgramFile(const std::filesystem::path& path, std::ifstream& in,
                                  ProgramImage& image) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return ProgramReadResult::OpenFailed;
  }
  try {
    // Unbuffered: the readers ask for large blocks or for exactly what they
    // need, and a buffer would only add a copy and a read ahead per seek.
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(path, std::ios::binary);
  } catch (const std::bad_alloc& e) {
    // Only opening the file allocates before the image is touched.
    image.allocationError = e.what();
    return ProgramReadResult::OutOfMemory;
  }
  return in.is_open() ? ProgramReadResult::Ok : ProgramReadResult::OpenFailed;
}
