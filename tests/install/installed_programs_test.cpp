// The installed tree: `cmake --install` of this build into a temporary prefix puts the programs,
// the man page, the desktop entry and its icon where a desktop expects them, and nothing of the
// tests; the installed kvx-flash then upgrades the installed kvx-sim with an image made by the
// installed kvx-mkimage.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/sim_process.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBootRegionSize = 0x40000;  // not sent by a main upgrade

// Runs `args` with `extra_env` in place of the same variables of this process's environment,
// standard output and error into `output_file`. The exit status, or -1 when it did not exit by
// itself within `bound`.
int RunProgram(std::vector<std::string> args, const std::vector<std::string>& extra_env,
               const std::string& output_file,
               std::chrono::seconds bound = std::chrono::seconds(120)) {
  std::vector<std::string> env(extra_env);
  const auto overridden = [&extra_env](std::string_view entry) {
    return std::any_of(extra_env.begin(), extra_env.end(), [entry](const std::string& extra) {
      return entry.starts_with(extra.substr(0, extra.find('=') + 1));
    });
  };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!overridden(*entry)) env.emplace_back(*entry);
  }
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (auto& arg : args) argv.push_back(arg.data());
  for (auto& entry : env) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;

  const auto deadline = std::chrono::steady_clock::now() + bound;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FirstLine(const fs::path& file) {
  const std::string text = test::SimProcess::ReadFile(file);
  return text.substr(0, text.find('\n'));
}

class InstalledTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-install-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    work_ = pattern;
    prefix_ = work_ / "prefix";
    const std::string log = (work_ / "install.log").string();
    ASSERT_EQ(
        RunProgram({KVX_CMAKE_COMMAND, "--install", KVX_BUILD_DIR, "--prefix", prefix_.string()},
                   {}, log),
        0)
        << test::SimProcess::ReadFile(log);
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(work_, ignored);
  }

  std::string Bin(const std::string& program) const {
    return (prefix_ / KVX_INSTALL_BINDIR / program).string();
  }
  fs::path Data(const std::string& relative) const {
    return prefix_ / KVX_INSTALL_DATADIR / relative;
  }

  fs::path work_;
  fs::path prefix_;
};

TEST_F(InstalledTreeTest, TheProgramFolderHoldsTheProgramsAndNoTestOrBuildTool) {
  std::set<std::string> expected = {"kvx-flash", "kvx-sim", "kvx-mkimage"};
  if (KVX_INSTALL_HAS_GUI) expected.insert("kvx-upgrader");
  std::set<std::string> installed;
  for (const auto& entry : fs::directory_iterator(prefix_ / KVX_INSTALL_BINDIR)) {
    installed.insert(entry.path().filename().string());
    EXPECT_EQ(::access(entry.path().c_str(), X_OK), 0) << entry.path() << " is not executable";
  }
  EXPECT_EQ(installed, expected);
}

TEST_F(InstalledTreeTest, TheManPageOfKvxFlashIsInSectionOne) {
  const fs::path page = prefix_ / KVX_INSTALL_MANDIR / "man1" / "kvx-flash.1";
  ASSERT_TRUE(fs::is_regular_file(page)) << page;
  EXPECT_TRUE(FirstLine(page).starts_with(".TH KVX-FLASH 1 ")) << FirstLine(page);
}

TEST_F(InstalledTreeTest, TheDesktopEntryAndItsIconInEverySizeComeWithTheUpgraderOnly) {
  const fs::path entry = Data("applications/kvx-upgrader.desktop");
  if (!KVX_INSTALL_HAS_GUI) {
    EXPECT_FALSE(fs::exists(entry)) << "no desktop entry without the program it starts";
    EXPECT_FALSE(fs::exists(Data("icons"))) << "no icon without the program";
    return;
  }
  ASSERT_TRUE(fs::is_regular_file(entry)) << entry;
  const std::string text = test::SimProcess::ReadFile(entry);
  EXPECT_EQ(FirstLine(entry), "[Desktop Entry]");
  EXPECT_NE(text.find("\nExec=kvx-upgrader\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nIcon=kvx-upgrader\n"), std::string::npos) << text;
  const std::string png_signature("\x89PNG\r\n\x1a\n", 8);
  for (const char* size : {"16x16", "32x32", "48x48", "256x256"}) {
    const fs::path icon = Data(std::string("icons/hicolor/") + size + "/apps/kvx-upgrader.png");
    EXPECT_TRUE(test::SimProcess::ReadFile(icon).starts_with(png_signature))
        << icon << " is missing or no PNG";
  }
}

TEST_F(InstalledTreeTest, InstalledKvxFlashUpgradesTheSimulatedTerminal) {
  const fs::path image = work_ / "KVX_install.bin";
  const std::string mkimage_log = (work_ / "mkimage.log").string();
  ASSERT_EQ(RunProgram({Bin("kvx-mkimage"), "image", image.string(), "--size",
                        std::to_string(3 * 65536 + kBootRegionSize + 123)},
                       {}, mkimage_log),
            0)
      << test::SimProcess::ReadFile(mkimage_log);

  test::SimProcess sim(Bin("kvx-sim"), {"--once"});
  ASSERT_TRUE(sim.WaitUntilReady()) << test::SimProcess::ReadFile(sim.stdout_file());
  const std::string flash_log = (work_ / "flash.log").string();
  // A pseudo-terminal is a serial port only when it is named in KVX_SERIAL_PORTS. The profile
  // the engine writes goes to the temporary folder, not to the user's own.
  const int flash_exit = RunProgram(
      {Bin("kvx-flash"), "--yes", "--port", sim.link(), image.string()},
      {"KVX_SERIAL_PORTS=" + sim.link(), "XDG_CONFIG_HOME=" + (work_ / "config").string()},
      flash_log);
  EXPECT_EQ(flash_exit, 0) << test::SimProcess::ReadFile(flash_log);
  ASSERT_EQ(sim.WaitForExit(), 0) << test::SimProcess::ReadFile(sim.log_file());

  const std::string sent = test::SimProcess::ReadFile(image);
  ASSERT_GT(sent.size(), kBootRegionSize);
  const std::string received = test::SimProcess::ReadFile(sim.output_file());
  EXPECT_TRUE(received == sent.substr(kBootRegionSize))
      << "received " << received.size() << " bytes of " << sent.size() - kBootRegionSize;
}

}  // namespace
}  // namespace kvx
