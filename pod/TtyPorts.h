// What the tty backend learns from sysfs and /proc, shared by its two halves:
// TtyPorts.cpp finds the ports, TtyDriver.cpp drives them through termios.
#pragma once

#include <filesystem>
#include <string>

// The first line of `file`; empty when it cannot be read.
std::string FirstLine(const std::filesystem::path& file);

// The port-busy message for `device`: the holder of its lock where the system
// lists one, else the first other process that has it open (the other end of a
// pseudo-terminal may be one that holds no lock). `ownFd` of this process does
// not count; -1 for none.
std::string BusyText(const std::string& device, int ownFd);
