#include "cli/question.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "cli/terminal_output.h"
#include "platform/files.h"

namespace kvx {
namespace {

class StringSink final : public TextSink {
 public:
  void Write(std::string_view text) override { text_ += text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

TEST(QuestionPolicy, OptionsWinAndOnlyATerminalIsAsked) {
  const struct {
    const char* why;
    AnswerMode mode;
    bool input_is_terminal;
    QuestionAction expected;
  } cases[] = {
      {"--yes on a terminal", AnswerMode::kYes, true, QuestionAction::kAnswerYes},
      {"--yes in a script", AnswerMode::kYes, false, QuestionAction::kAnswerYes},
      {"--no on a terminal", AnswerMode::kNo, true, QuestionAction::kAnswerNo},
      {"--no in a script", AnswerMode::kNo, false, QuestionAction::kAnswerNo},
      {"neither, on a terminal: the operator decides", AnswerMode::kAsk, true,
       QuestionAction::kAskOperator},
      {"neither, in a script: nobody can say yes", AnswerMode::kAsk, false,
       QuestionAction::kAnswerNo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(DecideQuestion(c.mode, c.input_is_terminal), c.expected);
  }
}

TEST(QuestionPolicy, RepliesAreYesNoOrAskedAgain) {
  const struct {
    const char* reply;
    std::optional<bool> expected;
  } cases[] = {
      {"y", true},         {"YES", true},         {"  yes\r", true}, {"n", false},
      {"No", false},       {"", false},           {"   ", false},    {"yep", std::nullopt},
      {"o", std::nullopt}, {"y n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    EXPECT_EQ(ParseYesNo(c.reply), c.expected);
  }
}

// The operator's side of the question: a pipe for the replies and the interrupt's eventfd.
class AskOperatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    read_end_.reset(fds[0]);
    write_end_.reset(fds[1]);
    interrupt_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ASSERT_TRUE(interrupt_);
  }

  void Type(std::string_view text) {
    ASSERT_EQ(write(write_end_.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  bool Ask() {
    return AskOperator(output_, "Do you want to upgrade it again?", read_end_.get(),
                       interrupt_.get());
  }

  StringSink sink_;
  TerminalOutput output_{sink_, {.is_terminal = false, .to_locale = false}};
  ScopedFd read_end_;
  ScopedFd write_end_;
  ScopedFd interrupt_;
};

TEST_F(AskOperatorTest, AsksAgainUntilTheReplyIsYesOrNo) {
  Type("maybe\ny\n");
  EXPECT_TRUE(Ask());
  EXPECT_EQ(sink_.text(),
            "kvx-flash: Do you want to upgrade it again? [y/N] "
            "kvx-flash: please answer y or n [y/N] ");
}

TEST_F(AskOperatorTest, TakesOnlyTheLineItNeeds) {
  Type("n\nleft for later\n");
  EXPECT_FALSE(Ask());
  char rest[32] = {};
  EXPECT_EQ(read(read_end_.get(), rest, sizeof rest), 15);
  EXPECT_STREQ(rest, "left for later\n");
}

TEST_F(AskOperatorTest, EndOfInputIsNo) {
  Type("y");  // no line end before the input ends
  write_end_.reset();
  EXPECT_FALSE(Ask());
}

TEST_F(AskOperatorTest, AnOverlongReplyIsNoAnswerEvenIfItStartsWithYes) {
  Type("y" + std::string(200, ' ') + "x\nn\n");
  EXPECT_FALSE(Ask());
  EXPECT_NE(sink_.text().find("please answer y or n"), std::string::npos);
}

TEST_F(AskOperatorTest, CtrlCWhileWaitingIsNo) {
  const std::uint64_t one = 1;
  ASSERT_EQ(write(interrupt_.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
  EXPECT_FALSE(Ask()) << "no reply was typed; the interrupt ends the wait";
}

}  // namespace
}  // namespace kvx
