// The one line that tells why a command to the POD failed, for the command
// line's error stream: the window keeps to its own messages.
#pragma once

#include <string>
#include <string_view>

#include "pod/FailureCause.h"

// "cause: erase sector B: time-out after 20001 ms waiting for the reply to O (0 bytes seen)".
std::string DescribeFailure(const FailureCause& cause);

// "TimeOut", "WrongReply"...: the kind's name in the code, for machine-readable output.
std::string_view FailureKindName(FailureKind kind);
