#include "cli/run_report.h"

#include <nettle/sha2.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/local_time.h"

namespace kvx {

namespace {

constexpr std::size_t kHashChunk = 1 << 20;

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

nlohmann::json TerminalJson(const RunRecord& terminal) {
  return {{"hw_version", terminal.hw_version},
          {"stack_version", terminal.stack_version},
          {"mmi_version", terminal.mmi_version},
          {"nv_version_before", terminal.nv_before},
          {"nv_version_after", terminal.nv_after}};
}

nlohmann::json OrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

// "main", "bootloader", or null where the rules never decided.
nlohmann::json UpgradeJson(const RunRecord& terminal) {
  if (!terminal.download_decided) return nullptr;
  return terminal.boot_included ? "bootloader" : "main";
}

}  // namespace

std::error_code IdentifyImage(const std::string& path, ImageIdentity& out) {
  std::error_code error;
  RegularFile file = OpenRegularFile(path, error);
  if (error) return error;
  sha256_ctx hash;
  sha256_init(&hash);
  std::vector<std::uint8_t> chunk(kHashChunk);
  std::uint64_t done = 0;
  while (done < file.size) {
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kHashChunk, file.size - done));
    if (const std::error_code read = ReadFileRange(file.fd.get(), done, {chunk.data(), length})) {
      return read;
    }
    sha256_update(&hash, length, chunk.data());
    done += length;
  }
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest;
  sha256_digest(&hash, digest.size(), digest.data());
  out = ImageIdentity{path, file.size, Hex(digest)};
  return {};
}

const char* RunResultName(RunResult result) {
  switch (result) {
    case RunResult::kCompleted:
      return "completed";
    case RunResult::kFailed:
      return "failed";
    case RunResult::kRefused:
      return "refused";
    case RunResult::kInterrupted:
      return "interrupted";
  }
  return "failed";
}

std::string ReportLine(const RunReport& report) {
  const auto duration =
      std::chrono::duration_cast<std::chrono::milliseconds>(report.end - report.start);
  const nlohmann::json line = {
      {"port", report.port},
      {"port_by_id", OrNull(report.port_by_id)},
      {"start", Iso8601(report.start)},
      {"end", Iso8601(report.end)},
      {"duration_s", static_cast<double>(duration.count()) / 1000.0},
      {"image",
       {{"path", report.image.path}, {"size", report.image.size}, {"sha256", report.image.sha256}}},
      {"terminal", TerminalJson(report.terminal)},
      {"upgrade", UpgradeJson(report.terminal)},
      {"segments", report.terminal.segments},
      {"resends", report.terminal.resends},
      {"result", RunResultName(report.result)},
      {"message_id", report.message_id},
      {"message", report.message},
  };
  // Texts the terminal sent are not always UTF-8: such bytes are replaced, never refused.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<ReportFile> ReportFile::Open(const std::string& path, std::error_code& ec) {
  ScopedFd fd = OpenForWriting(path, IfExists::kAppend, 0644, ec);
  if (ec) return std::nullopt;
  return ReportFile(std::move(fd));
}

std::error_code ReportFile::Append(const RunReport& report) {
  const std::string line = ReportLine(report) + '\n';
  if (const std::error_code error = WriteAll(fd_.get(), line)) return error;
  return SyncFile(fd_.get());
}

}  // namespace kvx
