#include "cli/operator_text.h"

#include <gtest/gtest.h>

#include "platform/string_table.h"

namespace kvx {
namespace {

TEST(OperatorText, BoxesFallBackToTheUnknownErrorText) {
  EXPECT_EQ(MessageBoxText(IDS_CONNECTION_FAILED), *LoadString(IDS_CONNECTION_FAILED));
  EXPECT_EQ(MessageBoxText(99999), "Unknown error occurred");
}

TEST(OperatorText, StatusLinesLoseTheirTrailingBlanks) {
  EXPECT_EQ(StatusText(IDS_INIT_IN_PROGRESS), "Initialization is in progress (2/2)");
  EXPECT_EQ(StatusText(IDS_UPGRADE_COMPLETED), "Upgrade has been completed");
  EXPECT_EQ(StatusText(99999), std::nullopt) << "the status line stays as it is";
}

TEST(OperatorText, PortProblemsReadAsTheMainWindowShowsThem) {
  EXPECT_EQ(PortErrorText(1, "ttyUSB0"), std::nullopt);
  EXPECT_EQ(PortErrorText(0, "ttyUSB0"),
            "None of serial ports is availabe now.\nPlease check the connection and try it "
            "again!");
  EXPECT_EQ(PortErrorText(-1, "ttyUSB0"),
            "Serial port is not detected.\nPlease make sure the device is connected correctly!");
  EXPECT_EQ(PortErrorText(-2, "ttyUSB0"),
            "ttyUSB0 is being occupied by one other application \nat this moment. Please try it "
            "later!");
}

TEST(OperatorText, MessageLinesNormaliseLineEnds) {
  EXPECT_EQ(MessageLines("a\r\nb"), "kvx-flash: a\nb\n");
  EXPECT_EQ(MessageLines("Connection Cable is deleted\r\n"),
            "kvx-flash: Connection Cable is deleted\n");
  EXPECT_EQ(MessageLines(""), "kvx-flash: \n");
}

}  // namespace
}  // namespace kvx
