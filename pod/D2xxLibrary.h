// The vendor's D2XX library as this system names and loads it: dlopen on
// Linux, LoadLibraryEx from System32 on Windows. The build picks the file.
#pragma once

#include <string>

// libftd2xx.so, or ftd2xx.dll on Windows.
extern const char* const kD2xxLibraryFile;

// Loads `file`, a bare file name from the system's own places only, or a
// path as given; null with `problem` saying why and where it was looked for.
void* OpenLibrary(const std::string& file, std::string& problem);

// The function `name` exports, as a generic function pointer; null when none.
using LibraryFunction = void (*)();
LibraryFunction FindFunction(void* library, const char* name);

// The file the library holding `function` was loaded from; empty when the
// system does not say.
std::string LibraryFileOf(const void* function);
