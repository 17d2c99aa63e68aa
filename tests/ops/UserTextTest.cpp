#include "ops/UserText.h"

#include <gtest/gtest.h>

TEST(UserTextTest, KeyTextsReadAsTheKeyEditsTakeThem) {
  const struct {
    const char* text;
    uint16_t word;
  } cases[] = {
      {" 1a ", 0x001A},   // blanks around
      {"g1", 0x0000},     // no digit at the start
      {"0x12", 0x0012},   // prefix accepted
      {"12zz", 0x0012},   // stops at the first non-digit
      {"", 0xFFFF},       // empty is the erased word
      {" \t ", 0xFFFF},   // only blanks is empty
      {"12345", 0x2345},  // low 16 bits kept
      {"ffff", 0xFFFF},  {"0000", 0x0000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseKeyText(c.text), c.word) << '"' << c.text << '"';
  }
}

TEST(UserTextTest, ProgramNameFromFileName) {
  const struct {
    const char* file;
    const char* name;
  } cases[] = {
      {"motor_ctl.out", "motor_ct"},
      {"a.out.out", "a"},
      {"abcd.out", "abcd"},  // exactly four characters stay whole
      {"abcdefghijkl.out", "abcdefgh"},
      {"demo.OUT.out", "demo"},  // the second ".out" in any case
      {".out.out", ".out"},      // not longer than four: kept
      {"noextension", "noextens"},
      {"prog.bin", "prog"},
      {"모터제어.out", "모터"},  // 12 bytes of Hangul: cut on a character boundary
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgramNameFromFileName(c.file), c.name) << c.file;
  }
}

TEST(UserTextTest, CutNeverSplitsACharacter) {
  EXPECT_EQ(CutToBytes("abcdefghij", 8), "abcdefgh");
  EXPECT_EQ(CutToBytes("abc", 8), "abc");
  // "é" is two bytes; starting at byte 7 it does not fit in 8.
  EXPECT_EQ(CutToBytes("abcdefgé", 8), "abcdefg");
  EXPECT_EQ(TrimBlanks("  a b \t\n"), "a b");
  EXPECT_EQ(TrimBlanks(" \t"), "");
}

TEST(UserTextTest, NamesShowControlAndMalformedBytesEscaped) {
  const struct {
    std::string stored;
    std::string shown;
    bool control;
  } cases[] = {
      {"demo", "demo", false},
      {"\x1b[31mred", "\\x1b[31mred", true},
      {"a\tb\x7f", "a\\x09b\\x7f", true},
      {"\xc2\x9b"
       "2J",
       "\\xc2\\x9b2J", true},                       // C1 CSI, two bytes
      {"\xeb\xaa\xa8\xed\x84\xb0", "모터", false},  // Hangul passes whole
      {"ab\xeb\xaa", "ab\\xeb\\xaa", false},        // a character cut short
      {"\xc0\xaf\xff", "\\xc0\\xaf\\xff", false},   // over-long form, stray bytes
      {"\xed\xa0\x80", "\\xed\\xa0\\x80", false},   // a surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(EscapeForDisplay(c.stored), c.shown);
    EXPECT_EQ(HasControlCharacter(c.stored), c.control);
  }
}
