// Conversions through Windows' code pages never fail: what does not convert becomes U+FFFD one
// way and '?' the other.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace kvx {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kHan = "\xED\x95\x9C";                  // 한
const std::string kHanGeul = "\xED\x95\x9C\xEA\xB8\x80";  // 한글
const std::string kSmiley = "\xF0\x9F\x98\x80";           // U+1F600, outside every ANSI code page

std::string R(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += kReplacement;
  return out;
}

TEST(CodePageTest, TheLocaleIsTheAnsiCodePage) {
  const std::string codeset = LocaleCodeset();
  ASSERT_TRUE(codeset == "UTF-8" || codeset.starts_with("CP")) << codeset;
  EXPECT_EQ(Utf8ToLocale("COM5 ok"), "COM5 ok");
  EXPECT_EQ(LocaleToUtf8(Utf8ToLocale("COM5 " + kSmiley)), "COM5 ?");
}

TEST(CodePageTest, ConvertsEveryLatin1Byte) {
  EXPECT_EQ(CodesetToUtf8("caf\xE9", "ISO-8859-1"), "caf\xC3\xA9");
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string converted = CodesetToUtf8(all, "ISO-8859-1");
  EXPECT_EQ(converted.find(kReplacement), std::string::npos);
  EXPECT_EQ(converted.size(), 127u + 2 * 128u);
  EXPECT_EQ(Utf8ToCodeset(converted, "ISO-8859-1"), all);
}

TEST(CodePageTest, WindowsNamesAndNumbersNameTheSamePage) {
  EXPECT_EQ(CodesetToUtf8("\x80", "CP1252"), "\xE2\x82\xAC");  // €
  EXPECT_EQ(CodesetToUtf8("\x80", "windows-1252"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToCodeset("\xE2\x82\xAC", "CP1252"), "\x80");
}

TEST(CodePageTest, ReplacesEachKoreanByteThatDoesNotConvert) {
  EXPECT_EQ(CodesetToUtf8("\xC7\xD1\xB1\xDB", "CP949"), kHanGeul);
  EXPECT_EQ(CodesetToUtf8("A\xFF"
                          "B",
                          "CP949"),
            "A" + R(1) + "B");
  EXPECT_EQ(CodesetToUtf8("\xC7\xD1\xC7", "CP949"), kHan + R(1)) << "a lead byte cut at the end";
  EXPECT_EQ(CodesetToUtf8("\xC7\xD1\xFF\xFF\xC7\xD1", "CP949"), kHan + R(2) + kHan);
}

TEST(CodePageTest, ALongRunOfBadBytesBecomesOneReplacementEach) {
  const std::string bad(100'000, '\xFF');
  const std::string converted = CodesetToUtf8(bad, "CP949");
  EXPECT_EQ(converted.size(), 3 * bad.size());
  EXPECT_EQ(converted.substr(0, 6), R(2));
}

TEST(CodePageTest, WritesOneQuestionMarkForEachCharacterAPageCannotHold) {
  EXPECT_EQ(Utf8ToCodeset("caf\xC3\xA9 " + kHan + kSmiley, "CP1252"), "caf\xE9 ??");
  EXPECT_EQ(Utf8ToCodeset(kHanGeul + kSmiley + "!", "CP949"), "\xC7\xD1\xB1\xDB?!");
  EXPECT_EQ(Utf8ToCodeset("x\xC3", "CP1252"), "x?") << "ill-formed input";
  EXPECT_EQ(Utf8ToCodeset("\xED\xA0\x80", "CP1252"), "???") << "an encoded surrogate";
}

TEST(CodePageTest, NoBestFitLookAlikes) {
  // U+0100 (A with macron) has a best-fit 'A' in CP1252; an upgrade must not rename things.
  EXPECT_EQ(Utf8ToCodeset("\xC4\x80", "CP1252"), "?");
}

TEST(CodePageTest, AsciiUnknownAndUnusablePagesReplaceEveryHighByte) {
  for (const char* codeset :
       {"ANSI_X3.4-1968", "US-ASCII", "NO-SUCH-CHARSET", "CP99999", "CP50225"}) {
    EXPECT_EQ(CodesetToUtf8("a\x80z\xE9", codeset), "a" + R(1) + "z" + R(1)) << codeset;
    EXPECT_EQ(Utf8ToCodeset("a" + kHan, codeset), "a?") << codeset;
  }
}

TEST(CodePageTest, Utf8PagesOnlyRepairIllFormedText) {
  for (const char* codeset : {"UTF-8", "CP65001"}) {
    EXPECT_EQ(CodesetToUtf8(kHan + "\xC3", codeset), kHan + R(1)) << codeset;
    EXPECT_EQ(Utf8ToCodeset(kHan + "\xC3", codeset), kHan + R(1)) << codeset;
  }
}

TEST(CodePageTest, SanitizeReplacesEachMaximalIllFormedPart) {
  EXPECT_EQ(SanitizeUtf8("\xC0\xAF"), R(2));
  EXPECT_EQ(SanitizeUtf8("\xF4\x90\x80\x80"), R(4));
  EXPECT_EQ(SanitizeUtf8("ab\xE2\x82"), "ab" + R(1));
  EXPECT_EQ(SanitizeUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace kvx
