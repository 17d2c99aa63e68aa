// What one driver backend offered when the default choice of driver asked it,
// so that a failure to find or open the POD can say what each one saw.
#pragma once

#include <string>
#include <vector>

#include "pod/PortDriver.h"

struct BackendProbe {
  std::string backend;             // "d2xx", "tty"
  bool used = false;               // the choice fell on it
  std::string why;                 // why it was used or passed over, in a few words
  std::vector<PortDetails> ports;  // every FTDI device it sees
};
