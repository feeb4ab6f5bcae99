// The port setup dialog, the about box and the completion prompt.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/about_dialog.h"
#include "ui/completion_prompt.h"
#include "ui/port_setup_dialog.h"
#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

struct PreselectCase {
  const char* why;
  std::vector<std::string> ports;
  std::string initial;
  std::string selected;
};

class PortSetupPreselectTest : public ::testing::TestWithParam<PreselectCase> {};

TEST_P(PortSetupPreselectTest, OkYieldsTheSelectedPortAndBaud115200) {
  const PreselectCase& c = GetParam();
  CAdmComSetup dialog(c.ports, c.initial);
  auto* list = dialog.findChild<QComboBox*>(QStringLiteral("portList"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), static_cast<int>(c.ports.size()));
  for (int i = 0; i < list->count(); ++i) {
    EXPECT_EQ(list->itemText(i).toStdString(), c.ports[static_cast<std::size_t>(i)]) << "order";
  }
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.port(), c.selected);
  EXPECT_EQ(dialog.baud(), "115200");
}

INSTANTIATE_TEST_SUITE_P(
    Ports, PortSetupPreselectTest,
    ::testing::Values(
        PreselectCase{"the initial port is selected",
                      {"ttyUSB0", "ttyUSB3", "ttyUSB10"},
                      "ttyUSB3",
                      "ttyUSB3"},
        PreselectCase{"an initial port that is gone selects the first",
                      {"ttyUSB0", "ttyUSB3"},
                      "ttyUSB7",
                      "ttyUSB0"},
        PreselectCase{"the match is case-sensitive", {"ttyUSB0", "ttyUSB3"}, "TTYUSB3", "ttyUSB0"},
        PreselectCase{"an empty list gives an empty port", {}, "ttyUSB0", ""}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(PortSetupDialogTest, BaudListIsHiddenAndCancelGivesNoChoice) {
  CAdmComSetup dialog({"ttyUSB0"}, "");
  dialog.show();
  EXPECT_FALSE(dialog.findChild<QComboBox*>(QStringLiteral("baudList"))->isVisible());
  EXPECT_TRUE(dialog.windowTitle().isEmpty());
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(dialog.port().empty());
}

TEST(AboutDialogTest, VersionLineAndCaptionEndInOneSpace) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Velmora KVX-01 Upgrader "));
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("versionLine"))->text(),
            QStringLiteral("Velmora KVX-01 Upgrader Version (v1.0.1) "));
  const QString copyright = about.findChild<QLabel*>(QStringLiteral("copyrightLine"))->text();
  EXPECT_TRUE(copyright.contains(QStringLiteral("Velmora")));
}

TEST(CompletionPromptTest, UpgradeAcceptsAndExitRejects) {
  CViewDialog prompt;
  EXPECT_EQ(prompt.windowTitle(), QStringLiteral("  "));
  EXPECT_EQ(prompt.findChild<QLabel*>(QStringLiteral("promptText"))->text(),
            QStringLiteral("You can exit or upgrade another Kelvane."));
  QTest::mouseClick(prompt.findChild<QPushButton*>(QStringLiteral("upgradeButton")),
                    Qt::LeftButton);
  EXPECT_EQ(prompt.result(), QDialog::Accepted);
  QTest::mouseClick(prompt.findChild<QPushButton*>(QStringLiteral("exitButton")), Qt::LeftButton);
  EXPECT_EQ(prompt.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace kvx::ui::test
