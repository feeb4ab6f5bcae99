#include "cli/image_check.h"

#include <cstdio>

#include "cli/operator_text.h"
#include "image/compat_rules.h"
#include "image/firmware_image.h"
#include "image/image_host.h"
#include "image/image_versions.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace kvx {
namespace {

// Stands in for the engine around CFirmwareImage: messages are reported, the trace is not kept.
class CheckHost final : public ImageHost {
 public:
  CheckHost(std::string path, bool dev, const std::function<void(std::string_view)>& report)
      : path_(std::move(path)), dev_(dev), report_(report) {}

  void Bind(CFirmwareImage& image) { image_ = &image; }

  void WriteLog(std::string_view, COLORREF, int) override {}
  void PostOperatorMessage(int string_id) override { report_(MessageBoxText(string_id)); }
  void Disconnect(int string_id) override {
    // As the engine's Disconnect: nothing of the image stays loaded.
    if (image_) {
      image_->Release();
      image_->ResetState();
    }
    if (string_id != 0) report_(MessageBoxText(string_id));
  }
  bool IsDevMode() const override { return dev_; }
  // The engine shows this box itself when it loads the image for the run.
  void ShowInformation(const std::string&) override {}
  std::string FilePath() const override { return path_; }
  void ClearFilePath() override { path_.clear(); }

 private:
  std::string path_;
  const bool dev_;
  const std::function<void(std::string_view)>& report_;
  CFirmwareImage* image_ = nullptr;
};

// Version texts are bytes from a file: control characters would move the terminal's cursor.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7f ? '?' : c;
  }
  return out;
}

std::string OrNotFound(std::string_view text) {
  return text.empty() ? std::string("(not found)") : Printable(text);
}

std::string SegmentLine(std::uint64_t offset, std::uint64_t size) {
  char text[128];
  std::snprintf(text, sizeof text, "%d segments (%llu bytes from offset 0x%llx)",
                segment_count_for(size), static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(offset));
  return text;
}

void AddLine(std::string& out, std::string_view label, std::string_view value) {
  constexpr std::size_t kLabelWidth = 20;
  out += label;
  out += ':';
  out.append(label.size() + 1 < kLabelWidth ? kLabelWidth - label.size() - 1 : 1, ' ');
  out += value;
  out += '\n';
}

}  // namespace

std::optional<std::string> FirmwareFileProblem(const std::string& path) {
  const auto problem = [&path](std::string_view reason) {
    return LocaleToUtf8(path) + ": " + std::string(reason);
  };
  std::error_code error;
  OpenRegularFile(path, error);
  if (error) return problem(error.message());
  return std::nullopt;
}

std::optional<ImageSummary> CheckImage(const std::string& path, const ImageCheckOptions& options,
                                       const std::function<void(std::string_view)>& report) {
  CheckHost host(path, options.dev, report);
  CFirmwareImage image(host);
  host.Bind(image);
  ImageVersions versions;
  versions.downgrade_enabled = options.downgrade;
  if (!image.load_image(versions) || image.image() == nullptr) return std::nullopt;

  ImageSummary summary;
  summary.size = image.image_size();
  summary.boot_text = versions.boot_text.display;
  summary.stack_text = versions.stack_text.display;
  summary.mmi_text = versions.mmi_text.display;
  summary.mmi = versions.mmi;
  summary.nv = versions.nv;
  image.Release();
  return summary;
}

std::string FormatImageSummary(std::string_view display_path, const ImageSummary& summary) {
  std::string out;
  AddLine(out, "file", display_path);
  AddLine(out, "size", std::to_string(summary.size) + " bytes");
  AddLine(out, "boot version", OrNotFound(summary.boot_text));
  AddLine(out, "stack version", OrNotFound(summary.stack_text));
  std::string mmi = OrNotFound(summary.mmi_text);
  if (!summary.mmi_text.empty() && !summary.mmi.valid) mmi += " (not recognised)";
  AddLine(out, "MMI version", mmi);
  const std::string_view nv(summary.nv.bytes.data());
  AddLine(out, "NV version", summary.nv.empty() ? "(not found)" : Printable(nv));

  constexpr std::uint64_t kBoot = SendWindow::kBootRegionSize;
  if (summary.size > kBoot) {
    AddLine(out, "main upgrade", SegmentLine(kBoot, summary.size - kBoot));
  } else {
    AddLine(out, "main upgrade", "nothing to send (the image ends within the boot region)");
  }
  AddLine(out, "bootloader upgrade", SegmentLine(0, summary.size));
  return out;
}

}  // namespace kvx
