#include "cli/question.h"

#include <string>

#include "cli/operator_text.h"
#include "platform/console.h"

namespace kvx {
namespace {

// Longer replies are read to their end but are no answer.
constexpr std::size_t kMaxReply = 64;

enum class ReadResult { kLine, kEnd, kInterrupted };

// Reads one line from `input_fd` byte by byte, so nothing after it is taken from the input.
ReadResult ReadReply(int input_fd, int interrupt_fd, std::string& reply) {
  reply.clear();
  bool overlong = false;
  for (;;) {
    char c = 0;
    switch (ReadByteOrInterrupt(input_fd, interrupt_fd, c)) {
      case ConsoleRead::kByte:
        break;
      case ConsoleRead::kEnd:
        return ReadResult::kEnd;
      case ConsoleRead::kInterrupted:
        return ReadResult::kInterrupted;
    }
    if (c == '\n') {
      // An overlong reply is no answer, whatever it starts with.
      if (overlong) {
        reply.clear();
        reply.push_back('?');
      }
      return ReadResult::kLine;
    }
    if (reply.size() < kMaxReply) {
      reply += c;
    } else {
      overlong = true;
    }
  }
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

QuestionAction DecideQuestion(AnswerMode mode, bool input_is_terminal) {
  switch (mode) {
    case AnswerMode::kYes:
      return QuestionAction::kAnswerYes;
    case AnswerMode::kNo:
      return QuestionAction::kAnswerNo;
    case AnswerMode::kAsk:
      break;
  }
  return input_is_terminal ? QuestionAction::kAskOperator : QuestionAction::kAnswerNo;
}

std::optional<bool> ParseYesNo(std::string_view reply) {
  const std::string_view word = Trim(reply);
  if (EqualsIgnoringCase(word, "y") || EqualsIgnoringCase(word, "yes")) return true;
  if (word.empty() || EqualsIgnoringCase(word, "n") || EqualsIgnoringCase(word, "no")) {
    return false;
  }
  return std::nullopt;
}

bool AskOperator(RunOutput& output, std::string_view question, int input_fd, int interrupt_fd) {
  std::string prompt = MessageLines(question);
  prompt.back() = ' ';
  prompt += "[y/N] ";
  for (;;) {
    output.Prompt(prompt);
    std::string reply;
    switch (ReadReply(input_fd, interrupt_fd, reply)) {
      case ReadResult::kLine:
        break;
      case ReadResult::kEnd:
        output.Line("");
        output.Message("no answer; taken as no");
        return false;
      case ReadResult::kInterrupted:
        output.Line("");
        return false;
    }
    if (const auto answer = ParseYesNo(reply)) return *answer;
    prompt = std::string(kMessagePrefix) + "please answer y or n [y/N] ";
  }
}

}  // namespace kvx
