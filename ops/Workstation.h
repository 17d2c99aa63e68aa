// Who runs this program, where and when, as a run log line names them. The
// build picks Workstation.posix.cpp or Workstation.windows.cpp.
#pragma once

#include <string>

// The time now in UTC, as 2026-12-11T06:03:30Z.
std::string UtcTimeNow();

// This machine's name; empty when the system does not say.
std::string HostName();

// The account the process runs as.
std::string UserName();
