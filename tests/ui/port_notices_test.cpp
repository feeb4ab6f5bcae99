// The port setup dialog's descriptions and link preselection.

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "ui/port_setup_dialog.h"
#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

QComboBox* PortList(CAdmComSetup& dialog) {
  return dialog.findChild<QComboBox*>(QStringLiteral("portList"));
}

TEST(PortSetupDescriptionTest, EachPortKeepsItsNameAndShowsItsDescriptionAsTooltip) {
  CAdmComSetup dialog({"ttyS0", "ttyUSB0"}, "ttyUSB0", nullptr, [](const std::string& port) {
    return port == "ttyUSB0" ? std::string("USB 1d6b:0104 Velmora KVX-01, serial 0001")
                             : std::string();
  });
  QComboBox* list = PortList(dialog);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->itemText(1), QStringLiteral("ttyUSB0"));
  EXPECT_EQ(list->itemData(1, Qt::ToolTipRole).toString(),
            QStringLiteral("USB 1d6b:0104 Velmora KVX-01, serial 0001"));
  EXPECT_FALSE(list->itemData(0, Qt::ToolTipRole).isValid()) << "nothing known, no tooltip";
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
  EXPECT_EQ(dialog.port(), "ttyUSB0");
}

TEST(PortSetupDescriptionTest, AnInitialPortThatLinksToAListedOnePreselectsIt) {
  TempFolder folder;
  std::filesystem::create_directories(folder / "by-id");
  TempFolder::Write(folder / "ttyUSB3", "");
  const std::string device = (folder / "ttyUSB3").string();
  const std::string link = (folder / "by-id/usb-Velmora_KVX-01_0001-if00-port0").string();
  std::filesystem::create_symlink("../ttyUSB3", link);
  const auto nothing = [](const std::string&) { return std::string(); };

  CAdmComSetup linked({"ttyS0", device}, link, nullptr, nothing);
  QTest::mouseClick(linked.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
  EXPECT_EQ(linked.port(), device) << "the list's own name is what Ok yields";

  CAdmComSetup bare({"ttyS0", device}, "TTYUSB3", nullptr, nothing);
  EXPECT_EQ(PortList(bare)->currentIndex(), 0) << "bare names still compare by spelling";
}

}  // namespace
}  // namespace kvx::ui::test
