// The port setup dialog's descriptions and link preselection, and the window's box for a port
// refused for lack of permission.

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <cerrno>
#include <filesystem>

#include "main_window_fixture.h"
#include "platform/port_permission.h"
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

using MainWindowPortAccessTest = MainWindowFixture;

TEST_F(MainWindowPortAccessTest, APermissionRefusalFollowsTheEnginesBoxWithTheFix) {
  Open("portName=ttyUSB0\r\n");
  ReportPort("ttyUSB0");
  const std::size_t before = dialogs_.boxes.size();
  ReportPortError(-2);
  const std::string path = "/dev/kvx-no-such-ttyUSB0";
  Engine(WM_USER_PORT_ACCESS_DENIED, reinterpret_cast<WPARAM>(&path), EACCES);
  ASSERT_EQ(dialogs_.boxes.size(), before + 2) << "the occupied box, then the permission box";
  const BoxRequest& box = dialogs_.boxes.back();
  EXPECT_EQ(box.text, PortPermissionText(path, "dialout"));
  EXPECT_EQ(box.icon, BoxIcon::kExclamation);
  EXPECT_EQ(box.buttons, BoxButtons::kOk);
}

}  // namespace
}  // namespace kvx::ui::test
