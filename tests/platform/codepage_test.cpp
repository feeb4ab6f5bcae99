// Conversions between the locale's character set and UTF-8 never fail: what does not convert
// becomes U+FFFD one way and '?' the other.
#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <string>

namespace kvx {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kHan = "\xED\x95\x9C";                  // 한
const std::string kHanGeul = "\xED\x95\x9C\xEA\xB8\x80";  // 한글
const std::string kSmiley = "\xF0\x9F\x98\x80";           // U+1F600, in no legacy Korean set

std::string R(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += kReplacement;
  return out;
}

bool IconvKnows(const char* codeset) {
  const iconv_t cd = iconv_open("UTF-8", codeset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

TEST(SanitizeUtf8Test, ReplacesEachMaximalIllFormedPartWithOneReplacementCharacter) {
  const struct {
    const char* reason;
    std::string input;
    std::string expected;
  } cases[] = {
      {"ASCII passes", "COM5 ok", "COM5 ok"},
      {"well-formed multi-byte text passes", kHanGeul + kSmiley, kHanGeul + kSmiley},
      {"NUL bytes are characters too", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"a byte that never starts a character",
       "a\xFF"
       "b",
       "a" + R(1) + "b"},
      {"a stray continuation byte", "\x80", R(1)},
      {"an overlong slash: C0 never leads, AF is stray", "\xC0\xAF", R(2)},
      {"an overlong three-byte form", "\xE0\x80\x80", R(3)},
      {"an encoded surrogate", "\xED\xA0\x80", R(3)},
      {"a code point beyond U+10FFFF", "\xF4\x90\x80\x80", R(4)},
      {"a sequence cut at the end is one part", "ab\xE2\x82", "ab" + R(1)},
      {"a sequence cut by an ASCII byte",
       "\xF0\x9F\x98"
       "A",
       R(1) + "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SanitizeUtf8(c.input), c.expected) << c.reason;
  }
}

TEST(CodesetToUtf8Test, ConvertsEveryLatin1Byte) {
  EXPECT_EQ(CodesetToUtf8("caf\xE9", "ISO-8859-1"), "caf\xC3\xA9");
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string converted = CodesetToUtf8(all, "ISO-8859-1");
  EXPECT_EQ(converted.find(kReplacement), std::string::npos);
  EXPECT_EQ(converted.size(), 127u + 2 * 128u);
}

TEST(CodesetToUtf8Test, ReplacesEachKoreanByteThatDoesNotConvert) {
  if (!IconvKnows("EUC-KR")) GTEST_SKIP() << "iconv has no EUC-KR here";
  EXPECT_EQ(CodesetToUtf8("\xC7\xD1\xB1\xDB", "EUC-KR"), kHanGeul);
  EXPECT_EQ(CodesetToUtf8("A\xFF"
                          "B",
                          "EUC-KR"),
            "A" + R(1) + "B");
  EXPECT_EQ(CodesetToUtf8("\xC7\xD1\xC7", "EUC-KR"), kHan + R(1)) << "a lead byte cut at the end";
  EXPECT_EQ(CodesetToUtf8("\xC7\xD1\xFF\xFF\xC7\xD1", "EUC-KR"), kHan + R(2) + kHan);
}

TEST(CodesetToUtf8Test, ALongRunOfBadBytesBecomesOneReplacementEach) {
  if (!IconvKnows("EUC-KR")) GTEST_SKIP() << "iconv has no EUC-KR here";
  const std::string bad(100'000, '\xFF');
  const std::string converted = CodesetToUtf8(bad, "EUC-KR");
  EXPECT_EQ(converted.size(), 3 * bad.size());
  EXPECT_EQ(converted.substr(0, 6), R(2));
}

TEST(CodesetToUtf8Test, AsciiAndUnknownSetsReplaceEveryHighByte) {
  for (const char* codeset : {"ANSI_X3.4-1968", "ascii", "US-ASCII", "NO-SUCH-CHARSET"}) {
    EXPECT_EQ(CodesetToUtf8("a\x80z\xE9", codeset), "a" + R(1) + "z" + R(1)) << codeset;
  }
}

TEST(CodesetToUtf8Test, Utf8SetsOnlyRepairIllFormedText) {
  for (const char* codeset : {"UTF-8", "utf8"}) {
    EXPECT_EQ(CodesetToUtf8(kHan + "\xC3", codeset), kHan + R(1)) << codeset;
  }
}

TEST(Utf8ToCodesetTest, WritesQuestionMarksForWhatLatin1CannotHold) {
  EXPECT_EQ(Utf8ToCodeset("caf\xC3\xA9 " + kHan, "ISO-8859-1"), "caf\xE9 ?");
  EXPECT_EQ(Utf8ToCodeset("x\xC3", "ISO-8859-1"), "x?") << "ill-formed input";
  EXPECT_EQ(Utf8ToCodeset("\xED\xA0\x80", "ISO-8859-1"), "???") << "an encoded surrogate";
}

TEST(Utf8ToCodesetTest, WritesQuestionMarksForWhatKoreanSetsCannotHold) {
  if (!IconvKnows("EUC-KR")) GTEST_SKIP() << "iconv has no EUC-KR here";
  EXPECT_EQ(Utf8ToCodeset(kHanGeul + kSmiley + "!", "EUC-KR"), "\xC7\xD1\xB1\xDB?!");
}

TEST(Utf8ToCodesetTest, EndsAStatefulSetInItsInitialState) {
  if (!IconvKnows("ISO-2022-KR")) GTEST_SKIP() << "iconv has no ISO-2022-KR here";
  const std::string encoded = Utf8ToCodeset(kHan + "a" + kHan, "ISO-2022-KR");
  EXPECT_EQ(CodesetToUtf8(encoded, "ISO-2022-KR"), kHan + "a" + kHan);
  EXPECT_EQ(encoded.back(), 0x0F) << "shift in after the last Korean character";
}

TEST(Utf8ToCodesetTest, AsciiTakesOnlyAscii) {
  EXPECT_EQ(Utf8ToCodeset("ttyUSB0 " + kHan + " \xE2\x82", "ANSI_X3.4-1968"), "ttyUSB0 ? ?");
}

// Sets the program's locale for one test and puts the previous one back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

TEST(LocaleConversionTest, FollowsTheLocaleTheProgramSet) {
  {
    const ScopedLocale c("C");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(LocaleToUtf8("COM5\xE9"), "COM5" + kReplacement);
    EXPECT_EQ(Utf8ToLocale("COM5" + kHan), "COM5?");
  }
  {
    const ScopedLocale utf8("C.UTF-8");
    if (!utf8.ok()) GTEST_SKIP() << "no C.UTF-8 locale here";
    EXPECT_EQ(LocaleToUtf8(kHan + "\xFF"), kHan + kReplacement);
    EXPECT_EQ(Utf8ToLocale(kHan), kHan);
  }
}

}  // namespace
}  // namespace kvx
