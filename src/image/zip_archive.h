// Reading the items of a firmware archive (a ZIP file) with minizip.
//
// Nothing an archive declares is trusted: an item is inflated here with zlib from its raw bytes,
// its output is bounded by the size the caller allows, and an item that yields more or fewer
// bytes than it declares, fails its CRC, is encrypted or uses an unknown method is refused.
//
// Ownership: a ZipArchive owns its open archive and closes it when destroyed. Threads: one
// object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kvx {

// What the archive's directory says about one item.
struct ZipItemInfo {
  std::string name;  // as stored, with any folder part, converted to UTF-8
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint32_t crc = 0;
  int method = 0;          // 0 stored, 8 deflated
  bool encrypted = false;  // general-purpose flag bit 0
};

enum class ZipResult {
  kOk = 0,
  kBadArchive,     // the archive's directory or the item's header is damaged
  kUnsupported,    // encrypted, or a compression method other than stored and deflated
  kCorruptData,    // the compressed stream is damaged, truncated or followed by extra bytes
  kSizeMismatch,   // the item yields more or fewer bytes than it declares
  kCrcMismatch,    // the bytes do not match the item's CRC-32
  kOutputRefused,  // the caller's sink would not take the bytes (a full disk, for example)
};

// A short English description of `result`, for the trace.
std::string_view ZipResultText(ZipResult result);

// Converts an item name stored in code page 437 (the ZIP default) to UTF-8.
std::string Cp437ToUtf8(std::string_view name);

class ZipArchive {
  struct PassKey {
    explicit PassKey() = default;
  };

 public:
  // Receives the item's bytes in order; returns false to stop the extraction.
  using Sink = std::function<bool(std::span<const std::uint8_t>)>;

  // Opens `path` as an archive; nullptr when it is not one (then it is a plain file).
  static std::unique_ptr<ZipArchive> Open(const std::string& path);

  // Use Open; the private key keeps construction inside this class.
  ZipArchive(PassKey, void* handle, std::uint64_t item_count);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Number of items the archive's directory declares, folders included.
  std::uint64_t ItemCount() const { return item_count_; }

  // Steps through the items in index order. First/Next return kOk on an item, kBadArchive on
  // a damaged directory; `at_end` is set when there are no more items.
  ZipResult First(bool& at_end);
  ZipResult Next(bool& at_end);
  // The current item's directory entry.
  ZipResult CurrentInfo(ZipItemInfo& info);

  // Extracts the current item into `buffer`, which must be exactly as long as the item declares.
  // Never writes past the buffer.
  ZipResult ExtractCurrent(const ZipItemInfo& info, std::span<std::uint8_t> buffer);
  // Streams the current item through `sink`, at most `info.uncompressed_size` bytes in all.
  ZipResult ExtractCurrent(const ZipItemInfo& info, const Sink& sink);

 private:
  ZipResult Inflate(const ZipItemInfo& info, const Sink& sink);
  ZipResult CopyStored(const ZipItemInfo& info, const Sink& sink);

  void* handle_;  // unzFile; null for an archive with no items
  std::uint64_t item_count_;
};

}  // namespace kvx
