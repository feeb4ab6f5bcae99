// The profile store: the same behaviour from the INI file and from the in-memory fake, and the
// file's own cases (missing folders, whole-file replacement, files that are not ours to touch).
#include "platform/profile_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/temp_folder.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

using test::TempFolder;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// --- Behaviour shared by both stores ---------------------------------------------------------

// Builds a store holding `ini_text` and reads back the text it holds.
struct StoreKind {
  const char* name;
  std::function<std::unique_ptr<ProfileStore>(const TempFolder&, const std::string&)> make;
  std::function<std::string(const TempFolder&, ProfileStore&)> text;
};

fs::path ProfileIn(const TempFolder& folder) {
  return folder / "OKVI" / "profile.ini";
}

const StoreKind kFileStore{
    "IniFile",
    [](const TempFolder& folder, const std::string& text) -> std::unique_ptr<ProfileStore> {
      if (!text.empty()) WriteFile(ProfileIn(folder), text);
      return std::make_unique<IniProfileStore>(ProfileIn(folder));
    },
    [](const TempFolder& folder, ProfileStore&) { return ReadFile(ProfileIn(folder)); }};

const StoreKind kMemoryStore{
    "Memory",
    [](const TempFolder&, const std::string& text) -> std::unique_ptr<ProfileStore> {
      return std::make_unique<MemoryProfileStore>(text);
    },
    [](const TempFolder&, ProfileStore& store) {
      return static_cast<MemoryProfileStore&>(store).text();
    }};

class ProfileStoreTest : public ::testing::TestWithParam<StoreKind> {
 protected:
  std::unique_ptr<ProfileStore> Make(const std::string& text = {}) {
    return GetParam().make(folder_, text);
  }
  std::string Text(ProfileStore& store) { return GetParam().text(folder_, store); }

  TempFolder folder_;
};

TEST_P(ProfileStoreTest, GivesDefaultsForAnEmptyProfile) {
  auto store = Make();
  EXPECT_EQ(store->GetProfileInt(kSectionDevelopment, kEntryDev, 0), 0);
  EXPECT_EQ(store->GetProfileInt(kSectionComPort, kEntryBaudrate, -1), -1);
  EXPECT_EQ(store->GetProfileString(kSectionComPort, kEntryPort, "none"), "none");
}

TEST_P(ProfileStoreTest, ReadsBackWhatItWrote) {
  auto store = Make();
  ASSERT_TRUE(store->WriteProfileString(kSectionComPort, kEntryPort, "ttyUSB0"));
  ASSERT_TRUE(store->WriteProfileInt(kSectionComPort, kEntryBaudrate, 460800));
  ASSERT_TRUE(store->WriteProfileInt(kSectionDevelopment, kEntryDev, 1));
  ASSERT_TRUE(store->WriteProfileString(kSectionComPort, kEntryPort, "ttyACM1"));

  EXPECT_EQ(store->GetProfileString(kSectionComPort, kEntryPort, ""), "ttyACM1");
  EXPECT_EQ(store->GetProfileInt(kSectionComPort, kEntryBaudrate, 0), 460800);
  EXPECT_EQ(store->GetProfileInt(kSectionDevelopment, kEntryDev, 0), 1);
  EXPECT_EQ(Text(*store), "[COMPORT]\nPORT=ttyACM1\nBAUDRATE=460800\n\n[DEVELOPMENT]\nDEV=1\n");
}

TEST_P(ProfileStoreTest, KeepsTextsWithBlanksQuotesAndAnyCharacterButLineBreaks) {
  auto store = Make();
  for (const std::string value : {"", "  padded  ", "\"quoted\"", "a=b;c#d", "\xED\x95\x9C"}) {
    ASSERT_TRUE(store->WriteProfileString("TEXT", "VALUE", value)) << value;
    EXPECT_EQ(store->GetProfileString("TEXT", "VALUE", "default"), value);
  }
}

TEST_P(ProfileStoreTest, RefusesNamesAndValuesTheFileCannotHold) {
  auto store = Make("[COMPORT]\nPORT=ttyS0\n");
  const struct {
    const char* reason;
    std::string section, entry, value;
  } cases[] = {
      {"a line break would start a new entry", "COMPORT", "PORT", "x\nDEV=1"},
      {"a carriage return", "COMPORT", "PORT", "x\r"},
      {"a NUL byte", "COMPORT", "PORT", std::string("a\0b", 3)},
      {"']' ends a section name early", "COM]PORT", "PORT", "x"},
      {"'=' ends an entry name early", "COMPORT", "PO=RT", "x"},
      {"an empty section", "", "PORT", "x"},
      {"an empty entry", "COMPORT", "", "x"},
      {"an entry read back as a comment", "COMPORT", ";PORT", "x"},
      {"a value too long for one line", "COMPORT", "PORT", std::string(5000, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(store->WriteProfileString(c.section, c.entry, c.value)) << c.reason;
  }
  EXPECT_EQ(Text(*store), "[COMPORT]\nPORT=ttyS0\n");
}

TEST_P(ProfileStoreTest, MatchesNamesWithoutRegardToCaseAndUpdatesInPlace) {
  auto store = Make(
      "; written by hand\n"
      "[comport]\r\n"
      "  port = ttyS3  \r\n"
      "speed=fast\n"
      "\n"
      "[Other]\n"
      "PORT=elsewhere\n");
  EXPECT_EQ(store->GetProfileString("COMPORT", "PORT", ""), "ttyS3");
  ASSERT_TRUE(store->WriteProfileString("COMPORT", "PORT", "ttyUSB1"));
  ASSERT_TRUE(store->WriteProfileInt("COMPORT", "BAUDRATE", 115200));
  EXPECT_EQ(Text(*store),
            "; written by hand\n"
            "[comport]\n"
            "PORT=ttyUSB1\n"
            "speed=fast\n"
            "BAUDRATE=115200\n"
            "\n"
            "[Other]\n"
            "PORT=elsewhere\n");
}

TEST_P(ProfileStoreTest, TakesTheFirstOfRepeatedSectionsAndEntries) {
  auto store = Make("[DEVELOPMENT]\nDEV=1\nDEV=0\n[DEVELOPMENT]\nDEV=0\n");
  EXPECT_EQ(store->GetProfileInt(kSectionDevelopment, kEntryDev, 0), 1);
}

TEST_P(ProfileStoreTest, ReadsIntsOnlyWhenTheWholeValueIsOne) {
  const struct {
    const char* value;
    int expected;
  } cases[] = {
      {"1", 1},           {" 42 ", 42}, {"-7", -7},
      {"+3", 3},          {"1x", 99},   {"", 99},
      {"0x10", 99},       {"+-5", 99},  {"2147483647", 2147483647},
      {"2147483648", 99}, {"one", 99},
  };
  for (const auto& c : cases) {
    auto store = Make(std::string("[S]\nN=") + c.value + "\n");
    EXPECT_EQ(store->GetProfileInt("S", "N", 99), c.expected) << '"' << c.value << '"';
  }
}

TEST_P(ProfileStoreTest, SurvivesGarbageAndGivesTextsAsValidUtf8) {
  using namespace std::string_literals;
  std::string garbage =
      "\xEF\xBB\xBF[COMPORT]\nPORT=tty\xFF\xC3\n\0\0\x01["s;  // BOM, bad bytes, NULs
  garbage += "\n[DEVELOPMENT\nDEV=1\n";                       // a header without its ']'
  garbage += "[X]\n" + std::string(5000, 'A') + "=1\n";       // a line beyond the line limit
  garbage += "DEV";                                           // no line end at the end
  auto store = Make(garbage);
  EXPECT_EQ(store->GetProfileString(kSectionComPort, kEntryPort, ""),
            "tty\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(store->GetProfileInt(kSectionDevelopment, kEntryDev, 0), 0);
  EXPECT_EQ(store->GetProfileInt("X", std::string(5000, 'A'), 7), 7);
  EXPECT_TRUE(store->WriteProfileInt(kSectionComPort, kEntryBaudrate, 460800));
  EXPECT_EQ(store->GetProfileInt(kSectionComPort, kEntryBaudrate, 0), 460800);
}

TEST_P(ProfileStoreTest, LeavesAnOversizedProfileAlone) {
  const std::string huge = "[DEVELOPMENT]\nDEV=1\n" + std::string(kMaxProfileFileSize, ';');
  auto store = Make(huge);
  EXPECT_EQ(store->GetProfileInt(kSectionDevelopment, kEntryDev, 0), 0);
  EXPECT_FALSE(store->WriteProfileInt(kSectionDevelopment, kEntryDev, 0));
  EXPECT_EQ(Text(*store), huge);
}

INSTANTIATE_TEST_SUITE_P(Stores, ProfileStoreTest, ::testing::Values(kFileStore, kMemoryStore),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The file ---------------------------------------------------------------------------------

TEST(ProfilePathTest, FollowsXdgConfigHomeOrFallsBackToDotConfig) {
  const struct {
    const char* reason;
    const char* xdg;
    const char* home;
    const char* expected;
  } cases[] = {
      {"XDG_CONFIG_HOME wins", "/cfg", "/home/op", "/cfg/OKVI/Velmora KVX-01 Upgrader (v1.0).ini"},
      {"unset XDG_CONFIG_HOME", "", "/home/op",
       "/home/op/.config/OKVI/Velmora KVX-01 Upgrader (v1.0).ini"},
      {"a relative XDG_CONFIG_HOME is ignored", "cfg", "/home/op",
       "/home/op/.config/OKVI/Velmora KVX-01 Upgrader (v1.0).ini"},
      {"no folder at all", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProfilePathFor(c.xdg, c.home), fs::path(c.expected)) << c.reason;
  }
}

TEST(IniProfileStoreTest, CreatesMissingFoldersAndKeepsValuesAcrossInstances) {
  TempFolder folder;
  const fs::path file = folder / "config" / "OKVI" / "Velmora KVX-01 Upgrader (v1.0).ini";
  ASSERT_TRUE(IniProfileStore(file).WriteProfileString(kSectionComPort, kEntryPort, "ttyUSB0"));
  EXPECT_EQ(IniProfileStore(file).GetProfileString(kSectionComPort, kEntryPort, ""), "ttyUSB0");
}

TEST(IniProfileStoreTest, LeavesNothingButTheProfileAndItsLockFile) {
  TempFolder folder;
  const fs::path file = folder / "profile.ini";
  IniProfileStore store(file);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(store.WriteProfileInt("S", "N", i));
  std::vector<fs::path> entries;
  for (const auto& entry : fs::directory_iterator(folder.path())) entries.push_back(entry.path());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<fs::path>{file, folder / "profile.ini.lock"}));
}

TEST(IniProfileStoreTest, RefusesAWriteWhileAnotherProcessHoldsTheLockAndWritesOnceItIsFree) {
  TempFolder folder;
  const fs::path file = folder / "profile.ini";
  WriteFile(file, "[COMPORT]\nPORT=ttyS0\n");
  IniProfileStore store(file, std::chrono::milliseconds(0));
  {
    // What another process's writer holds: flock on its own open of the lock file.
    const ScopedFd other(::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT, 0600));
    ASSERT_TRUE(other);
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(store.WriteProfileString(kSectionComPort, kEntryPort, "ttyUSB0"));
    EXPECT_EQ(ReadFile(file), "[COMPORT]\nPORT=ttyS0\n");
  }
  EXPECT_TRUE(store.WriteProfileString(kSectionComPort, kEntryPort, "ttyUSB0"));
  EXPECT_EQ(store.GetProfileString(kSectionComPort, kEntryPort, ""), "ttyUSB0");
}

TEST(IniProfileStoreTest, FailsToWriteWhereNoFolderCanBeMade) {
  TempFolder folder;
  WriteFile(folder / "plain-file", "x");
  IniProfileStore store(folder / "plain-file" / "OKVI" / "profile.ini");
  EXPECT_FALSE(store.WriteProfileInt(kSectionDevelopment, kEntryDev, 1));
  EXPECT_EQ(store.GetProfileInt(kSectionDevelopment, kEntryDev, 5), 5);
}

TEST(IniProfileStoreTest, TreatsAFolderOrAPipeAtThePathAsUnusableWithoutBlocking) {
  TempFolder folder;
  const fs::path dir = folder / "dir.ini";
  fs::create_directory(dir);
  const fs::path fifo = folder / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const fs::path& path : {dir, fifo}) {
    IniProfileStore store(path);
    EXPECT_EQ(store.GetProfileString(kSectionComPort, kEntryPort, "d"), "d") << path;
    EXPECT_FALSE(store.WriteProfileString(kSectionComPort, kEntryPort, "x")) << path;
  }
}

// --- Several writers on one file ---------------------------------------------------------------

constexpr int kWritesPerWriter = 25;

// Writes `entry` = 1 .. kWritesPerWriter through a store of its own; false when a write failed.
bool WriteSeries(const fs::path& file, const std::string& entry) {
  IniProfileStore store(file);
  bool all_stored = true;
  for (int i = 1; i <= kWritesPerWriter; ++i) {
    all_stored = store.WriteProfileInt(kSectionComPort, entry, i) && all_stored;
  }
  return all_stored;
}

// Runs one writer thread per entry, each with its own store; true when every write was stored.
bool WriteSeriesSideBySide(const fs::path& file, const std::vector<std::string>& entries) {
  std::vector<char> stored(entries.size(), 0);
  std::vector<std::thread> writers;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    writers.emplace_back([&, i] { stored[i] = WriteSeries(file, entries[i]); });
  }
  for (auto& writer : writers) writer.join();
  return std::all_of(stored.begin(), stored.end(), [](char ok) { return ok != 0; });
}

// Every entry holds its last value, and the file is the section and those entries, nothing else.
void ExpectEveryLastWrite(const fs::path& file, const std::vector<std::string>& entries) {
  const IniProfileStore store(file);
  std::istringstream lines(ReadFile(file));
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "[COMPORT]");
  std::size_t entry_lines = 0;
  while (std::getline(lines, line)) {
    ++entry_lines;
    EXPECT_TRUE(line.ends_with("=" + std::to_string(kWritesPerWriter))) << line;
  }
  EXPECT_EQ(entry_lines, entries.size());
  for (const std::string& entry : entries) {
    EXPECT_EQ(store.GetProfileInt(kSectionComPort, entry, 0), kWritesPerWriter) << entry;
  }
}

std::vector<std::string> EntryNames(const std::string& prefix, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

TEST(IniProfileStoreTest, KeepsEveryWriteOfThreadsWithTheirOwnStores) {
  TempFolder folder;
  const fs::path file = folder / "OKVI" / "profile.ini";
  const auto entries = EntryNames("PORT", 6);
  ASSERT_TRUE(WriteSeriesSideBySide(file, entries));
  ExpectEveryLastWrite(file, entries);
}

TEST(IniProfileStoreTest, KeepsEveryWriteOfThreadsSharingOneStore) {
  TempFolder folder;
  IniProfileStore store(folder / "profile.ini");
  auto writer = [&store](std::string entry) {
    for (int i = 1; i <= kWritesPerWriter; ++i) store.WriteProfileInt(kSectionComPort, entry, i);
  };
  std::thread a(writer, "A");
  std::thread b(writer, "B");
  a.join();
  b.join();
  ExpectEveryLastWrite(folder / "profile.ini", {"A", "B"});
}

TEST(IniProfileStoreTest, KeepsEveryWriteOfTwoProcesses) {
  TempFolder folder;
  const fs::path file = folder / "profile.ini";
  const auto child_entries = EntryNames("CHILD", 3);
  const auto parent_entries = EntryNames("PARENT", 3);
  // Forked before this process starts any thread of its own.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(WriteSeriesSideBySide(file, child_entries) ? 0 : 1);
  const bool parent_stored = WriteSeriesSideBySide(file, parent_entries);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write of the child failed";
  ASSERT_TRUE(parent_stored);
  auto entries = child_entries;
  entries.insert(entries.end(), parent_entries.begin(), parent_entries.end());
  ExpectEveryLastWrite(file, entries);
}

TEST(MemoryProfileStoreTest, CanActLikeAProfileThatCannotBeWritten) {
  MemoryProfileStore store("[COMPORT]\nPORT=ttyS0\n");
  store.FailWrites(true);
  EXPECT_FALSE(store.WriteProfileString(kSectionComPort, kEntryPort, "ttyS1"));
  EXPECT_EQ(store.GetProfileString(kSectionComPort, kEntryPort, ""), "ttyS0");
}

}  // namespace
}  // namespace kvx
