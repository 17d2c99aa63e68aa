// The command line from its arguments to its exit status, shared by the entry
// point of each system (EntryPoint.posix.cpp, EntryPoint.windows.cpp).
#pragma once

#include <string_view>
#include <vector>

// Runs the command `args` names (the program's own name left out). What was
// printed must have reached its reader: a closed pipe or a full disk turns a
// success into the output error's status.
int RunProgram(const std::vector<std::string_view>& args);
