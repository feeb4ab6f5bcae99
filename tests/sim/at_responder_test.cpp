#include "sim/at_responder.h"

#include <gtest/gtest.h>

namespace kvx::sim {
namespace {

constexpr bool kApplication = false;
constexpr bool kBootLoader = true;

TEST(AtResponderTest, AnswersEachCommandOfTheDialogueWithItsReplyLines) {
  struct Case {
    const char* why;
    std::string command;
    bool boot_loader;
    std::string reply;
  };
  const Case cases[] = {
      {"link test at 115200", "AT+CEXT=1\r", kApplication, "OK\r\n"},
      {"link test at 460800", "AT\r", kApplication, "OK\r\n"},
      {"the boot loader answers the link test too", "AT\r", kBootLoader, "OK\r\n"},
      {"hardware version, then OK", "at+hwver\r", kApplication,
       "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\n"},
      {"stack version, then OK", "at+ggmr\r", kApplication, "JQ_SAT_V3.1.0 2024/01/10\r\nOK\r\n"},
      {"the NV check is one line without OK", "AT+MMI=\"NV_VER_CHECK\"\r", kApplication,
       "NV_VER1.00\r\n"},
      {"the MMI version line carries its own OK", "AT+SYSVer\r", kApplication,
       "OK+SYSVer:KVX_2.0.0_ML_VM\r\n"},
      {"download-mode request", "AT+MMI=\"USB_DOWNLOAD\"\r", kApplication, "OK\r\n"},
      {"the boot loader confirms AT+UPAPP", "AT+UPAPP\r", kBootLoader, "+UPAPP\r\n"},
      {"the boot loader starts the download", "AT+UPGRADE\r", kBootLoader, "+START\r\n"},
      {"commands match byte for byte: upper case is another command", "AT+HWVER\r", kApplication,
       "ERROR\r\n"},
      {"a stray LF before a command makes it unknown", "\nAT\r", kApplication, "ERROR\r\n"},
      {"the application knows no AT+UPAPP", "AT+UPAPP\r", kApplication, "ERROR\r\n"},
      {"the boot loader knows no identification commands", "at+hwver\r", kBootLoader, "ERROR\r\n"},
      {"a new NV version has at most four characters", "AT+MMI=\"NEW_NVM_VERSION\",1.050\r",
       kApplication, "ERROR\r\n"},
      {"a new NV version has at least one character", "AT+MMI=\"NEW_NVM_VERSION\",\r", kApplication,
       "ERROR\r\n"},
  };
  for (const auto& c : cases) {
    AtResponder responder{AtConfig{}};
    EXPECT_EQ(responder.Handle(c.command, c.boot_loader).bytes, c.reply) << c.why;
  }
}

TEST(AtResponderTest, OnlyTheDownloadRequestRestartsAndOnlyStartBeginsBinaryMode) {
  AtResponder responder{AtConfig{}};
  const AtReply download = responder.Handle("AT+MMI=\"USB_DOWNLOAD\"\r", kApplication);
  EXPECT_TRUE(download.enter_download);
  EXPECT_FALSE(download.start_binary);
  const AtReply upapp = responder.Handle("AT+UPAPP\r", kBootLoader);
  EXPECT_FALSE(upapp.enter_download);
  EXPECT_FALSE(upapp.start_binary);
  const AtReply upgrade = responder.Handle("AT+UPGRADE\r", kBootLoader);
  EXPECT_TRUE(upgrade.start_binary);
  EXPECT_EQ(upgrade.step, AtStep::kUpgrade);
}

TEST(AtResponderTest, NewNvVersionIsReportedByTheNextNvCheck) {
  AtResponder responder{AtConfig{}};
  EXPECT_EQ(responder.Handle("AT+MMI=\"NEW_NVM_VERSION\",2.10\r", kApplication).bytes, "OK\r\n");
  EXPECT_EQ(responder.Handle("AT+MMI=\"NV_VER_CHECK\"\r", kApplication).bytes, "NV_VER2.10\r\n");
}

TEST(AtResponderTest, ConfiguredRepliesAreSentAsGivenWithCrLf) {
  AtConfig config;
  config.hwver_reply = "SFQAABCDEFG V3.0.0";  // the bare form, without "+HWVER: "
  config.ggmr_reply = "EMERGENCY";
  config.nv_version = "";
  config.sysver_reply = "OK+SYSVer:TVLMX_4.0.2_GL_VM";
  AtResponder responder{config};
  EXPECT_EQ(responder.Handle("at+hwver\r", kApplication).bytes, "SFQAABCDEFG V3.0.0\r\nOK\r\n");
  EXPECT_EQ(responder.Handle("at+ggmr\r", kApplication).bytes, "EMERGENCY\r\nOK\r\n");
  EXPECT_EQ(responder.Handle("AT+MMI=\"NV_VER_CHECK\"\r", kApplication).bytes, "NV_VER\r\n");
  EXPECT_EQ(responder.Handle("AT+SYSVer\r", kApplication).bytes, "OK+SYSVer:TVLMX_4.0.2_GL_VM\r\n");
}

TEST(AtResponderTest, EchoRepeatsTheCommandBeforeEveryAnswerIncludingErrors) {
  AtConfig config;
  config.echo = true;
  AtResponder responder{config};
  EXPECT_EQ(responder.Handle("AT+CEXT=1\r", kApplication).bytes, "AT+CEXT=1\rOK\r\n");
  EXPECT_EQ(responder.Handle("AT+NOPE\r", kApplication).bytes, "AT+NOPE\rERROR\r\n");
}

TEST(AtResponderTest, ErrorAtAStepAnswersErrorTheChosenNumberOfTimesThenTheRealAnswer) {
  AtConfig config;
  config.error_times[static_cast<std::size_t>(AtStep::kUpgrade)] = 2;
  AtResponder responder{config};
  EXPECT_EQ(responder.Handle("AT+UPGRADE\r", kBootLoader).bytes, "ERROR\r\n");
  const AtReply second = responder.Handle("AT+UPGRADE\r", kBootLoader);
  EXPECT_EQ(second.bytes, "ERROR\r\n");
  EXPECT_FALSE(second.start_binary) << "an ERROR does not start the download";
  const AtReply third = responder.Handle("AT+UPGRADE\r", kBootLoader);
  EXPECT_EQ(third.bytes, "+START\r\n");
  EXPECT_TRUE(third.start_binary);
}

TEST(AtResponderTest, ErrorAtTheDownloadRequestKeepsTheTerminalInTheApplication) {
  AtConfig config;
  config.error_times[static_cast<std::size_t>(AtStep::kUsbDownload)] = kEveryTime;
  AtResponder responder{config};
  for (int i = 0; i < 3; ++i) {
    const AtReply reply = responder.Handle("AT+MMI=\"USB_DOWNLOAD\"\r", kApplication);
    EXPECT_EQ(reply.bytes, "ERROR\r\n");
    EXPECT_FALSE(reply.enter_download);
  }
}

TEST(AtResponderTest, SilenceAtAStepSendsNothingNotEvenTheEchoAndTakesNoAction) {
  AtConfig config;
  config.echo = true;
  config.silent_times[static_cast<std::size_t>(AtStep::kUsbDownload)] = 1;
  config.silent_times[static_cast<std::size_t>(AtStep::kNvUpdate)] = kEveryTime;
  AtResponder responder{config};

  const AtReply lost = responder.Handle("AT+MMI=\"USB_DOWNLOAD\"\r", kApplication);
  EXPECT_EQ(lost.bytes, "");
  EXPECT_FALSE(lost.enter_download);
  EXPECT_TRUE(responder.Handle("AT+MMI=\"USB_DOWNLOAD\"\r", kApplication).enter_download)
      << "silent once: the second request is answered";

  EXPECT_EQ(responder.Handle("AT+MMI=\"NEW_NVM_VERSION\",2.00\r", kApplication).bytes, "");
  EXPECT_EQ(responder.nv_version(), "1.00") << "an unanswered update changes nothing";
}

}  // namespace
}  // namespace kvx::sim
