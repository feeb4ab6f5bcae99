#include "win32ui/completion_prompt.h"

#include "win32ui/resource_ids.h"

namespace kvx::win32ui {

void PrepareCompletionPrompt(DialogWindow& prompt) {
  prompt.SetCaption("  ");
}

int RunCompletionPrompt(NativeWindow owner) {
  return DialogWindow::RunModal(IDD_COMPLETION_PROMPT, owner, PrepareCompletionPrompt);
}

}  // namespace kvx::win32ui
