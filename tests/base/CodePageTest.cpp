#include <gtest/gtest.h>

#include <cstdlib>

#include "base/CodePage.h"

namespace quillmar {
namespace {

TEST(CodePage, Windows1252ConvertsBothWays) {
  TCodePage cp("windows-1252");
  // e-acute, euro sign, German sharp s, left double quote, trade mark
  const std::string ansi = "caf\xE9 \x80 \xDF \x93 \x99";
  const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC \xC3\x9F \xE2\x80\x9C \xE2\x84\xA2";
  EXPECT_EQ(cp.ToUtf8(ansi), utf8);
  EXPECT_EQ(cp.FromUtf8(utf8), ansi);
  EXPECT_EQ(cp.ToUtf8(""), "");
  EXPECT_EQ(cp.FromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage, EveryStoredByteSurvivesARoundTrip) {
  TCodePage cp("windows-1252");
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  std::string utf8 = cp.ToUtf8(all);
  EXPECT_EQ(cp.FromUtf8(utf8), all);
  // The five undefined bytes read as the C1 control characters of the same number.
  EXPECT_EQ(cp.ToUtf8("\x81\x9D"), "\xC2\x81\xC2\x9D");
}

TEST(CodePage, UnrepresentableCharacterIsRefusedWithItsPosition) {
  TCodePage cp("windows-1252");
  // "ab" then CYRILLIC SMALL LETTER ZHE (U+0436), which windows-1252 cannot hold.
  const std::string text = "ab\xD0\xB6z";
  EXPECT_FALSE(cp.CanEncode(text));
  try {
    cp.FromUtf8(text);
    FAIL() << "no error";
  } catch (const ECodePageError& e) {
    EXPECT_STREQ(
        e.what(),
        "Character 3 of the text cannot be stored in the code page windows-1252. Remove or replace it.");
  }
  // An emoji outside the basic plane, and the replacement character, are refused too: nothing is replaced.
  EXPECT_THROW(cp.FromUtf8("\xF0\x9F\x98\x80"), ECodePageError);
  EXPECT_THROW(cp.FromUtf8("\xEF\xBF\xBD"), ECodePageError);
  // Another code page holds the same letter.
  TCodePage cyrillic("windows-1251");
  EXPECT_EQ(cyrillic.FromUtf8(text), "ab\xE6z");
  EXPECT_EQ(cyrillic.ToUtf8("ab\xE6z"), text);
}

TEST(CodePage, InvalidUtf8AndUnknownCodePagesAreErrors) {
  TCodePage cp("windows-1252");
  for (const char* bad :
       {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "a\x80"}) {
    EXPECT_THROW(cp.FromUtf8(bad), ECodePageError) << bad;
  }
  EXPECT_THROW(TCodePage("no-such-codepage-xyz"), ECodePageError);
  // ISO-8859-1 has no euro sign: byte 0x80 is a control character there, U+20AC is refused.
  TCodePage latin1("ISO-8859-1");
  EXPECT_THROW(latin1.FromUtf8("\xE2\x82\xAC"), ECodePageError);
  // A byte with no meaning is placed exactly; multi-byte code pages convert whole sequences.
  TCodePage ascii("ASCII");
  try {
    ascii.ToUtf8("abc\xE9");
    FAIL() << "no error";
  } catch (const ECodePageError& e) {
    EXPECT_STREQ(e.what(), "Byte 4 of the text has no meaning in the code page ASCII.");
  }
  TCodePage sjis("SHIFT_JIS");
  EXPECT_EQ(sjis.ToUtf8("x\x82\xA0"), "x\xE3\x81\x82");  // HIRAGANA LETTER A
  EXPECT_THROW(sjis.ToUtf8("x\x82"), ECodePageError);    // cut off in the middle
}

TEST(CodePage, DefaultIsWindows1252UnlessTheEnvironmentNamesAnother) {
  ::unsetenv("QUILLMAR_CODEPAGE");
  EXPECT_EQ(TCodePage::DefaultName(), "windows-1252");
  EXPECT_EQ(TCodePage().Name(), "windows-1252");
  ::setenv("QUILLMAR_CODEPAGE", "ISO-8859-2", 1);
  EXPECT_EQ(TCodePage().Name(), "ISO-8859-2");
  ::unsetenv("QUILLMAR_CODEPAGE");
}

}  // namespace
}  // namespace quillmar
