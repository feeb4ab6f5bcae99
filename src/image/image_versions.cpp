#include "image/image_versions.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/string_table.h"

namespace kvx {
namespace {

// ---- The scan ----

enum class MarkerKind { kNone, kTag, kKvx, kTvl, kNv };

bool BytesAre(const std::uint8_t* at, std::string_view text) {
  return std::memcmp(at, text.data(), text.size()) == 0;
}

// The marker that begins at `at`. The caller keeps `at` at least kScanTail bytes before the
// image's end, so every marker compared here lies wholly inside the image.
MarkerKind MarkerAt(const std::uint8_t* at) {
  switch (at[0]) {
    case 'A':
      return BytesAre(at, kImageTag) ? MarkerKind::kTag : MarkerKind::kNone;
    case 'K':  // "KVX_" only counts when a digit follows
      return BytesAre(at, "KVX_") && at[4] >= '0' && at[4] <= '9' ? MarkerKind::kKvx
                                                                  : MarkerKind::kNone;
    case ' ':
      return BytesAre(at, " TVL") ? MarkerKind::kTvl : MarkerKind::kNone;
    case 'N':
      return BytesAre(at, "NV_VER") ? MarkerKind::kNv : MarkerKind::kNone;
    default:
      return MarkerKind::kNone;
  }
}

// Sixteen positions at a time (a compiler vector type, so plain SIMD on any target): which of
// them begin with the first three bytes of a marker. Reads bytes at..at+17.
using Block = std::uint8_t __attribute__((vector_size(16)));

struct BlockHits {
  std::uint64_t low;   // a byte of 0xff for each hit among positions 0 to 7
  std::uint64_t high;  // the same for positions 8 to 15
};

BlockHits MarkerStarts(const std::uint8_t* at) {
  Block b0;
  Block b1;
  Block b2;
  std::memcpy(&b0, at, sizeof b0);
  std::memcpy(&b1, at + 1, sizeof b1);
  std::memcpy(&b2, at + 2, sizeof b2);
  const auto hits =
      ((b0 == 'A') & (b1 == '0') & (b2 == '7')) | ((b0 == 'K') & (b1 == 'V') & (b2 == 'X')) |
      ((b0 == ' ') & (b1 == 'T') & (b2 == 'V')) | ((b0 == 'N') & (b1 == 'V') & (b2 == '_'));
  BlockHits result;
  static_assert(sizeof result == sizeof hits);
  static_assert(std::endian::native == std::endian::little, "position j is byte j of a half");
  std::memcpy(&result, &hits, sizeof result);
  return result;
}

constexpr std::size_t kBlockSize = sizeof(Block);

class ImageScan {
 public:
  ImageScan(LogSink& log, const std::uint8_t* image, std::size_t size, ImageVersions& versions)
      : log_(log), image_(image), size_(size), versions_(versions) {}

  // Every position i with i < size - kScanTail, in order: the boot text at kBootTextOffset first,
  // then whichever marker begins there. Later matches overwrite earlier ones; each is traced.
  void Run() {
    if (size_ <= kScanTail) return;
    const std::size_t window = size_ - kScanTail;
    boot_pending_ = window > kBootTextOffset;
    std::size_t i = 0;
    // A block reads two bytes past its last position: still inside the image, which goes on for
    // kScanTail bytes after the window.
    for (; i + kBlockSize <= window; i += kBlockSize) {
      const BlockHits hits = MarkerStarts(image_ + i);
      VisitHits(i, hits.low);
      VisitHits(i + 8, hits.high);
    }
    for (; i < window; ++i) Visit(i);
    if (boot_pending_) CopyBootText();
  }

 private:
  // Visits the positions first..first+7 whose byte in `hits` is set, in order.
  void VisitHits(std::size_t first, std::uint64_t hits) {
    while (hits != 0) {
      const int byte = std::countr_zero(hits) / 8;
      Visit(first + static_cast<std::size_t>(byte));
      hits &= ~(std::uint64_t{0xff} << (8 * byte));
    }
  }

  void Visit(std::size_t i) {
    const MarkerKind kind = MarkerAt(image_ + i);
    if (kind == MarkerKind::kNone) return;
    if (boot_pending_ && i >= kBootTextOffset) CopyBootText();
    Apply(kind, image_ + i);
  }

  void CopyBootText() {
    boot_pending_ = false;
    Copy(versions_.boot_text, image_ + kBootTextOffset, kBootTextSize);
    Trace("@@Binary BSP ver : %s\n", versions_.boot_text);
  }

  void Apply(MarkerKind kind, const std::uint8_t* at) {
    switch (kind) {
      case MarkerKind::kTag:
        Copy(versions_.stack_text, at + kImageTag.size(), kVersionTextSize);
        Trace("@@Binary MMI ver : %s\n", versions_.stack_text);
        break;
      case MarkerKind::kKvx:
        Copy(versions_.mmi_text, at, kVersionTextSize);
        Trace("@@Binary ver [1] : %s\n", versions_.mmi_text);
        break;
      case MarkerKind::kTvl:
        Copy(versions_.mmi_text, at, kVersionTextSize);
        Trace("@@Binary ver [2] : %s\n", versions_.mmi_text);
        break;
      case MarkerKind::kNv:
        Copy(versions_.nv_text, at, kVersionTextSize);
        Trace("@@Binary NV ver : %s\n", versions_.nv_text);
        break;
      case MarkerKind::kNone:
        break;
    }
  }

  // Copies from `from` up to the image's end, at most `limit` bytes.
  void Copy(ImageText& field, const std::uint8_t* from, std::size_t limit) {
    const auto available = static_cast<std::size_t>(image_ + size_ - from);
    field.Assign(from, std::min(limit, available));
  }

  void Trace(const char* format, const ImageText& field) {
    log_.WriteLog(format_text(format, field.display.c_str()), kTraceRed, LOG_TEXT);
  }

  LogSink& log_;
  const std::uint8_t* image_;
  std::size_t size_;
  ImageVersions& versions_;
  bool boot_pending_ = false;
};

const char* PassFail(bool pass) {
  return pass ? "pass" : "fail";
}

void TraceCheck(LogSink& log, const char* format, bool pass) {
  log.WriteLog(format_text(format, PassFail(pass)), kTraceBlack, LOG_TEXT);
}

// Steps after the scan that decide whether the stack text makes this a KVX-01 image.
bool AcceptStackText(ImageHost& host, ImageVersions& versions) {
  if (!versions.stack_text.text().starts_with("TALO")) {
    if (host.IsDevMode()) {
      // Development mode goes on to the stack parse, which refuses this text with its own message.
      constexpr std::string_view kEmergency = "EMERENCY";
      versions.stack_text.Assign(reinterpret_cast<const std::uint8_t*>(kEmergency.data()),
                                 kEmergency.size());
    } else {
      host.ClearFilePath();
      host.PostOperatorMessage(IDS_WRONG_IMAGE);
      const auto& bytes = versions.stack_text.bytes;
      host.WriteLog(format_text("Wrong Image loaded, Delimiter[0]=[%02x],Delimiter[1]=[%02x],"
                                "Delimiter[2]=[%02x],",
                                bytes[0], bytes[1], bytes[2]),
                    kTraceRed, LOG_TEXT);
      return false;
    }
  }
  if (!parse_binary_stack_version(versions.stack_text.text(), versions.stack, host)) {
    host.WriteLog("failed to binary parsing - 1\n", kTraceRed, LOG_TEXT);
    host.PostOperatorMessage(IDS_BINARY_VERSION_UNKNOWN);
    return false;
  }
  return true;
}

}  // namespace

std::string_view ImageText::text() const {
  const auto* begin = reinterpret_cast<const char*>(bytes.data());
  const std::string_view all(begin, bytes.size());
  return all.substr(0, all.find('\0'));
}

void ImageText::Clear() {
  bytes.fill(0);
  display.clear();
}

void ImageText::Assign(const std::uint8_t* from, std::size_t length) {
  // A shorter copy must not leave the tail of an earlier text behind it.
  bytes.fill(0);
  std::copy_n(from, std::min(length, bytes.size()), bytes.begin());
  display = ansi_text_to_utf8(text());
}

void ImageVersions::ClearTexts() {
  boot_text.Clear();
  stack_text.Clear();
  mmi_text.Clear();
  nv_text.Clear();
}

void ImageVersions::ResetRecords() {
  mmi = {};
  stack = {};
  boot = {};
  archive_boot = {};
  nv = {};
}

bool parse_image_versions(ImageHost& host, const std::uint8_t* image, std::size_t size,
                          ImageVersions& versions) {
  if (!image) size = 0;
  versions.ClearTexts();
  ImageScan(host, image, size, versions).Run();

  const bool mmi_parsed =
      parse_mmi_version(versions.mmi_text.text(), MmiSide::kImage, versions.mmi);
  TraceCheck(host, "bianry MMI version check parse bsp ver : %s\n", mmi_parsed);

  const bool nv_found = extract_nv_version(versions.nv_text.text(), versions.nv);
  TraceCheck(host, "bianry MMI NV version check parse bsp ver : %s\n", nv_found);

  const bool boot_parsed =
      parse_bsp_ver(versions.boot_text.text(), versions.boot, versions.downgrade_enabled, host);
  TraceCheck(host, "bianry check parse bsp ver : %s\n", boot_parsed);
  if (!versions.boot.valid) {
    host.WriteLog("WM_USER_BTN_CTRL BTN_ENABLE IDS_WRONG_BSP_VER occur\n", kTraceRed, LOG_TEXT);
    host.PostOperatorMessage(IDS_WRONG_BSP_VER);
    return false;
  }

  if (!AcceptStackText(host, versions)) return false;

  if (host.IsDevMode()) {
    host.ShowInformation(format_text(
        " <<< Binary Version Information >>>\n\n MMI Ver: %s\n\n Stack Ver : %s\n\n Boot Ver : %s",
        versions.mmi_text.display.c_str(), versions.stack_text.display.c_str(),
        versions.boot_text.display.c_str()));
  } else {
    host.WriteLog("Velmora_JQ Stack S/W Image loaded\n", kTraceBlack, LOG_TEXT);
  }
  return true;
}

bool check_zipped_image(ImageHost& host, const std::uint8_t* image, std::size_t size,
                        ImageVersions& versions) {
  std::string_view text;
  if (image && size > kBootTextOffset) {
    const std::size_t length = std::min(kArchiveBootCheckSize, size - kBootTextOffset);
    text = std::string_view(reinterpret_cast<const char*>(image + kBootTextOffset), length);
  }
  const bool pass = parse_bsp_ver(text, versions.archive_boot, versions.downgrade_enabled, host);
  TraceCheck(host, "zipped bianry check parse bsp ver : %s\n", pass);
  return pass;
}

}  // namespace kvx
