// One SHA-256 over what a write puts into the target's memory, so that a
// program has one digest whatever its file's format, section names or order,
// and a word moved, changed or added gives another. A production line checks
// a file against it before programming (--expect).
#pragma once

#include <string>

class ProgramImage;

// The words a target write sends, in address order, each as its word address
// (4 bytes, little-endian) and its value (2 bytes, little-endian): the flash
// sections' words of an image that has any, else every section's (a
// download into RAM). Sections that start at the same address are taken in
// file order.
std::string MemoryDigest(const ProgramImage& image);
