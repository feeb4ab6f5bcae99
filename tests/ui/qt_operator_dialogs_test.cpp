// The real dialogs: each one is answered from inside its own loop, as an operator would.

#include "ui/qt_operator_dialogs.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/string_table.h"
#include "ui/completion_prompt.h"
#include "ui/port_setup_dialog.h"
#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

// The shown top-level widget of type T, if any.
template <typename T>
T* Shown() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* found = qobject_cast<T*>(widget); found && found->isVisible()) return found;
  }
  return nullptr;
}

// Runs `act` from inside the next dialog's loop.
void Then(std::function<void()> act) {
  QTimer::singleShot(0, std::move(act));
}

TEST(QtOperatorDialogsTest, BoxShowsItsRequestAndReturnsTheButtonPressed) {
  QtOperatorDialogs dialogs;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool topmost = false;
  Then([&] {
    auto* box = Shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    topmost = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(dialogs.ShowBox(QuestionBox(IDS_SAME_VERSION_QUESTION)), BoxAnswer::kNo);
  EXPECT_EQ(title, QStringLiteral("Velmora KVX-01 Upgrader"));
  EXPECT_EQ(text, QStringLiteral("The same version is already on the KVX-01.\nDo you want to "
                                 "upgrade it again?"));
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_TRUE(topmost);
}

TEST(QtOperatorDialogsTest, BoxTextsShowCrLfAsOneLineBreakAndMarkupAsText) {
  QtOperatorDialogs dialogs;
  QString text;
  Then([&] {
    auto* box = Shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    text = box->text();
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(dialogs.ShowBox(PlainBox("", "KVX <b>is</b> not\r\nconnected")), BoxAnswer::kOk);
  EXPECT_EQ(text, QStringLiteral("KVX <b>is</b> not\nconnected"));
}

// Shows the port setup dialog and records its answer.
class PortSetupAnswer {
 public:
  PortSetupDone Done() {
    return [this](std::optional<PortChoice> choice) {
      ++answers;
      this->choice = std::move(choice);
    };
  }
  int answers = 0;
  std::optional<PortChoice> choice;
};

TEST(QtOperatorDialogsTest, PortSetupAnswersWithTheOperatorsChoiceWithoutWaiting) {
  QtOperatorDialogs dialogs;
  PortSetupAnswer answer;
  dialogs.ChoosePort({"ttyS0", "ttyUSB0"}, "", answer.Done());
  auto* dialog = Shown<CAdmComSetup>();
  ASSERT_NE(dialog, nullptr) << "shown, and the call has returned";
  EXPECT_EQ(answer.answers, 0);
  dialog->findChild<QComboBox*>(QStringLiteral("portList"))->setCurrentIndex(1);
  dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
  ASSERT_EQ(answer.answers, 1);
  ASSERT_TRUE(answer.choice.has_value());
  EXPECT_EQ(answer.choice->port, "ttyUSB0");
  EXPECT_EQ(answer.choice->baud_text, "115200");
  ASSERT_TRUE(SpinUntil([] { return Shown<CAdmComSetup>() == nullptr; }));
  EXPECT_EQ(answer.answers, 1);
}

TEST(QtOperatorDialogsTest, DismissedPortSetupAnswersNothing) {
  QtOperatorDialogs dialogs;
  PortSetupAnswer answer;
  dialogs.ChoosePort({"ttyUSB0"}, "ttyUSB0", answer.Done());
  dialogs.DismissPortSetup();
  EXPECT_EQ(answer.answers, 1);
  EXPECT_FALSE(answer.choice.has_value());
}

TEST(QtOperatorDialogsTest, PortSetupWhoseOwnerGoesAwayAnswersNothingOnce) {
  QtOperatorDialogs dialogs;
  PortSetupAnswer answer;
  auto owner = std::make_unique<QWidget>();
  dialogs.SetOwner(owner.get());
  dialogs.ChoosePort({"ttyUSB0"}, "", answer.Done());
  owner.reset();
  EXPECT_EQ(answer.answers, 1);
  EXPECT_FALSE(answer.choice.has_value());
  dialogs.DismissPortSetup();
  EXPECT_EQ(answer.answers, 1);
}

TEST(QtOperatorDialogsTest, BoxesAndDialogsAreOwnedByTheOwnerWindow) {
  QtOperatorDialogs dialogs;
  QWidget owner;
  dialogs.SetOwner(&owner);
  QWidget* box_parent = nullptr;
  Then([&] {
    auto* box = Shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    box_parent = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  dialogs.ShowBox(PlainBox("", "text"));
  EXPECT_EQ(box_parent, &owner);
  PortSetupAnswer answer;
  dialogs.ChoosePort({"ttyUSB0"}, "", answer.Done());
  auto* dialog = owner.findChild<CAdmComSetup*>();
  ASSERT_NE(dialog, nullptr);
  dialogs.DismissPortSetup();
  EXPECT_EQ(answer.answers, 1);
}

TEST(QtOperatorDialogsTest, CompletionPromptExitAndUpgrade) {
  QtOperatorDialogs dialogs;
  Then(
      [] { Shown<CViewDialog>()->findChild<QPushButton*>(QStringLiteral("exitButton"))->click(); });
  EXPECT_EQ(dialogs.AskCompletion(), CompletionChoice::kExit);
  Then([] {
    Shown<CViewDialog>()->findChild<QPushButton*>(QStringLiteral("upgradeButton"))->click();
  });
  EXPECT_EQ(dialogs.AskCompletion(), CompletionChoice::kUpgrade);
}

}  // namespace
}  // namespace kvx::ui::test
