#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/user_messages.h"

namespace kvx {
namespace {

using Args = std::vector<std::string>;
using Outcome = ParsedCommandLine::Outcome;

struct ValidCase {
  const char* why;
  Args args;
  CliOptions expected;
};

CliOptions Flash(std::string port, std::string file) {
  CliOptions o;
  o.mode = CliMode::kFlash;
  o.ports = {std::move(port)};
  o.file = std::move(file);
  return o;
}

template <typename F>
CliOptions With(CliOptions o, F change) {
  change(o);
  return o;
}

TEST(CommandLine, AcceptsEveryDocumentedForm) {
  const ValidCase cases[] = {
      {"the minimal run", {"--port", "ttyUSB0", "fw.stf"}, Flash("ttyUSB0", "fw.stf")},
      {"--port=PORT and a FILE before the options",
       {"fw.bin", "--port=/tmp/link"},
       Flash("/tmp/link", "fw.bin")},
      {"both operator options",
       {"--port", "p", "--downgrade", "--force-boot", "f"},
       With(Flash("p", "f"),
            [](CliOptions& o) {
              o.downgrade = true;
              o.force_boot = true;
            })},
      {"--yes",
       {"--port", "p", "--yes", "f"},
       With(Flash("p", "f"), [](CliOptions& o) { o.answer = AnswerMode::kYes; })},
      {"--no",
       {"--port", "p", "--no", "f"},
       With(Flash("p", "f"), [](CliOptions& o) { o.answer = AnswerMode::kNo; })},
      {"--dump-segments with --dev",
       {"--dev", "--dump-segments", "--port", "p", "f"},
       With(Flash("p", "f"),
            [](CliOptions& o) {
              o.dev = true;
              o.dump_segments = true;
            })},
      {"--trace alone writes to standard error",
       {"--trace", "--port", "p", "f"},
       With(Flash("p", "f"), [](CliOptions& o) { o.trace = TraceTarget::kStandardError; })},
      {"--trace=FILE",
       {"--trace=run.log", "--port", "p", "f"},
       With(Flash("p", "f"),
            [](CliOptions& o) {
              o.trace = TraceTarget::kFile;
              o.trace_file = "run.log";
            })},
      {"-- lets a FILE start with a dash",
       {"--port", "p", "--", "-odd.bin"},
       Flash("p", "-odd.bin")},
      {"several ports side by side, a port given twice is left to the run",
       {"--port", "a", "--port=b", "--port", "a", "f"},
       With(Flash("a", "f"),
            [](CliOptions& o) {
              o.ports = {"a", "b", "a"};
            })},
      {"--all-ports",
       {"--all-ports", "f"},
       With(Flash("", "f"),
            [](CliOptions& o) {
              o.ports.clear();
              o.all_ports = true;
            })},
      {"--repeat until Ctrl-C",
       {"--port", "p", "--repeat", "f"},
       With(Flash("p", "f"), [](CliOptions& o) { o.repeat = true; })},
      {"--count implies a series",
       {"--port", "p", "--count", "3", "f"},
       With(Flash("p", "f"),
            [](CliOptions& o) {
              o.repeat = true;
              o.count = 3;
            })},
      {"--report FILE and --compression=max",
       {"--port", "p", "--report=runs.jsonl", "--compression=max", "f"},
       With(Flash("p", "f"),
            [](CliOptions& o) {
              o.report_file = "runs.jsonl";
              o.compression = CompressionMode::kMax;
            })},
      {"--version",
       {"--version"},
       With(CliOptions{}, [](CliOptions& o) { o.mode = CliMode::kVersion; })},
      {"--list-ports",
       {"--list-ports"},
       With(CliOptions{}, [](CliOptions& o) { o.mode = CliMode::kListPorts; })},
      {"--info FILE",
       {"--info", "fw.stf"},
       With(CliOptions{},
            [](CliOptions& o) {
              o.mode = CliMode::kInfo;
              o.file = "fw.stf";
            })},
  };
  for (const ValidCase& c : cases) {
    SCOPED_TRACE(c.why);
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    ASSERT_EQ(parsed.outcome, Outcome::kRun) << parsed.error;
    const CliOptions& got = parsed.options;
    EXPECT_EQ(got.mode, c.expected.mode);
    EXPECT_EQ(got.ports, c.expected.ports);
    EXPECT_EQ(got.all_ports, c.expected.all_ports);
    EXPECT_EQ(got.repeat, c.expected.repeat);
    EXPECT_EQ(got.count, c.expected.count);
    EXPECT_EQ(got.report_file, c.expected.report_file);
    EXPECT_EQ(got.compression, c.expected.compression);
    EXPECT_EQ(got.file, c.expected.file);
    EXPECT_EQ(got.downgrade, c.expected.downgrade);
    EXPECT_EQ(got.force_boot, c.expected.force_boot);
    EXPECT_EQ(got.dev, c.expected.dev);
    EXPECT_EQ(got.dump_segments, c.expected.dump_segments);
    EXPECT_EQ(got.answer, c.expected.answer);
    EXPECT_EQ(got.trace, c.expected.trace);
    EXPECT_EQ(got.trace_file, c.expected.trace_file);
  }
}

TEST(CommandLine, RefusesEveryUsageErrorWithAReason) {
  const struct {
    const char* why;
    Args args;
  } cases[] = {
      {"nothing given", {}},
      {"no --port", {"fw.bin"}},
      {"no FILE", {"--port", "p"}},
      {"--port without its value", {"fw.bin", "--port"}},
      {"an empty --port=", {"--port=", "fw.bin"}},
      {"--port with --all-ports", {"--port", "a", "--all-ports", "f"}},
      {"--dump-segments with several ports",
       {"--dev", "--dump-segments", "--port", "a", "--port", "b", "f"}},
      {"--count without a number", {"--port", "p", "--count", "f"}},
      {"--count 0", {"--port", "p", "--count=0", "f"}},
      {"--count too large", {"--port", "p", "--count=100001", "f"}},
      {"--count not a number", {"--port", "p", "--count=3x", "f"}},
      {"--report without a FILE", {"--port", "p", "--report="}},
      {"--compression of an unknown kind", {"--port", "p", "--compression=fast", "f"}},
      {"--compression without a kind", {"--port", "p", "--compression", "f"}},
      {"--version with a FILE", {"--version", "f"}},
      {"two FILEs", {"--port", "p", "a.bin", "b.bin"}},
      {"an empty FILE", {"--port", "p", ""}},
      {"--yes with --no", {"--port", "p", "--yes", "--no", "f"}},
      {"--dump-segments without --dev", {"--port", "p", "--dump-segments", "f"}},
      {"--trace= without a FILE", {"--port", "p", "--trace=", "f"}},
      {"an unknown option", {"--port", "p", "--fast", "f"}},
      {"a short option that does not exist", {"-p", "ttyUSB0", "f"}},
      {"a value on a flag", {"--port", "p", "--yes=1", "f"}},
      {"--list-ports with a FILE", {"--list-ports", "f"}},
      {"--list-ports with a flash option", {"--list-ports", "--port", "p"}},
      {"--info without FILE", {"--info"}},
      {"--info with a flash option", {"--info", "--port", "p", "f"}},
      {"--info with --list-ports", {"--info", "--list-ports", "f"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    EXPECT_EQ(parsed.outcome, Outcome::kError);
    EXPECT_FALSE(parsed.error.empty());
  }
}

TEST(CommandLine, HelpIsAnsweredUnlessAnErrorCameFirst) {
  EXPECT_EQ(ParseCommandLine({"--help"}).outcome, Outcome::kHelp);
  EXPECT_EQ(ParseCommandLine({"--port", "p", "-h", "--bogus"}).outcome, Outcome::kHelp);
  EXPECT_EQ(ParseCommandLine({"--bogus", "-h"}).outcome, Outcome::kError);
}

TEST(CommandLine, StartBitsAreThoseOfTheStartButton) {
  CliOptions o;
  EXPECT_EQ(StartOptionBits(o), 0);
  o.downgrade = true;
  EXPECT_EQ(StartOptionBits(o), OPTION_DOWNGRADE);
  o.force_boot = true;
  EXPECT_EQ(StartOptionBits(o), OPTION_DOWNGRADE | OPTION_FORCE_BOOT);
  EXPECT_EQ(StartOptionBits(o) & OPTION_FORCE_STACK, 0) << "forced stack is never set";
}

}  // namespace
}  // namespace kvx
