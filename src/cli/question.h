// How kvx-flash answers the engine's question (WM_USER_ASK; the engine asks only 204, "The same
// version is already on the KVX-01. Do you want to upgrade it again?").
//
// --yes answers Yes and --no answers No. With neither, the operator is asked on the terminal
// when standard input is one; otherwise nobody can answer, and the safe answer is No.
#pragma once

#include <optional>
#include <string_view>

#include "cli/cli_options.h"
#include "cli/run_output.h"

namespace kvx {

enum class QuestionAction {
  kAnswerYes,
  kAnswerNo,
  kAskOperator,
};

QuestionAction DecideQuestion(AnswerMode mode, bool input_is_terminal);

// The operator's reply: "y" or "yes" is Yes; "n", "no" or an empty line (the default) is No;
// case and surrounding blanks do not matter. Nothing for any other reply.
std::optional<bool> ParseYesNo(std::string_view reply);

// Asks `question` on `output` and reads replies from `input_fd` until one is Yes or No. End of
// input, a read error or `interrupt_fd` becoming readable (Ctrl-C) answer No. Blocks the calling
// thread: the engine thread waits for the answer anyway.
bool AskOperator(RunOutput& output, std::string_view question, int input_fd, int interrupt_fd);

}  // namespace kvx
