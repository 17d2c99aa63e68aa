// Rules for the texts the user types or the file system gives: trimming, the
// short program name taken from a file name, key words read as hexadecimal,
// and byte limits that never split a UTF-8 character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// `text` without blanks (spaces, tabs, line ends) at either end.
std::string TrimBlanks(std::string_view text);

// At most `maxBytes` bytes of `text`, cut before a character that would not fit
// whole, so a name bound for an 8-byte field never ends in half a character.
std::string CutToBytes(std::string_view text, size_t maxBytes);

// The name a program is stored under by default: the file's name without its
// last extension, without a further ".out" (any letter case), at most 8 bytes.
// "motor_ctl.out" gives "motor_ct"; "a.out.out" gives "a".
std::string ProgramNameFromFileName(std::string_view fileName);

// One CSM key as typed: trimmed; empty is the erased word 0xFFFF; otherwise
// read as unsigned hexadecimal the way strtoul does (optional "0x", stops at
// the first non-digit, no digit gives 0), keeping the low 16 bits.
uint16_t ParseKeyText(std::string_view text);

// True when `text` holds a control character (C0, DEL or C1), which has no
// place in a name.
bool HasControlCharacter(std::string_view text);

// `bytes` as text that is safe to print on a terminal: control characters and
// bytes that are not part of a well-formed UTF-8 character become \xNN.
std::string EscapeForDisplay(std::string_view bytes);
