#include "sim/log_format.h"

#include <gtest/gtest.h>

namespace kvx::sim {
namespace {

TEST(LogFormatTest, QuotesCommandsWithCEscapes) {
  struct Case {
    const char* why;
    std::string bytes;
    std::string quoted;
  };
  const Case cases[] = {
      {"a command with its CR", "AT+CEXT=1\r", R"("AT+CEXT=1\r")"},
      {"quotes inside a command", "AT+MMI=\"USB_DOWNLOAD\"\r", R"("AT+MMI=\"USB_DOWNLOAD\"\r")"},
      {"line feed, tab and backslash", "a\n\t\\", R"("a\n\t\\")"},
      {"other bytes as two hex digits, so a following digit stays apart",
       std::string("\x96\x00"
                   "1",
                   3),
       R"("\x96\x001")"},
      {"DEL is not printable", "\x7f", R"("\x7F")"},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteBytes(c.bytes), c.quoted) << c.why;
}

TEST(LogFormatTest, UnquoteGivesBackEveryByteValue) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string back;
  ASSERT_TRUE(UnquoteBytes(QuoteBytes(all), &back));
  EXPECT_EQ(back, all);
}

TEST(LogFormatTest, UnquoteRefusesWhatQuoteCannotMake) {
  std::string bytes;
  for (const char* bad : {"AT", "\"AT", "\"a\"b\"", "\"\\q\"", "\"\\x9\"", "\"\\xG0\"", "\"\\\""}) {
    EXPECT_FALSE(UnquoteBytes(bad, &bytes)) << bad;
  }
}

}  // namespace
}  // namespace kvx::sim
