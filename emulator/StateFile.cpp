#include "emulator/StateFile.h"

#include <cstdlib>

#include "image/Utf8Path.h"

StateLock::StateLock(std::string path) : path_(std::move(path)) {}

StateLock::~StateLock() {
  Unlock();
}
