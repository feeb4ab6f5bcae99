// Time to find and parse the version texts of the largest image the upgrader accepts.
//
// The image is made in memory: firmware-like data (runs of a few instruction patterns, zero fill,
// string tables with spaces and capitals, so marker first bytes and prefixes are common) with the
// boot text at offset 85 and the tag, MMI and NV texts near the end, where real images carry them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "image/image_versions.h"

namespace kvx {
namespace {

constexpr std::size_t kLargestImage = 0x3600000;  // 54 MiB

class QuietHost : public ImageHost {
 public:
  void WriteLog(std::string_view, COLORREF, int) override {}
  void PostOperatorMessage(int) override {}
  void Disconnect(int) override {}
  bool IsDevMode() const override { return false; }
  void ShowInformation(const std::string&) override {}
  std::string FilePath() const override { return {}; }
  void ClearFilePath() override {}
};

void Put(std::vector<std::uint8_t>& image, std::size_t offset, std::string_view text) {
  std::copy(text.begin(), text.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::vector<std::uint8_t> MakeFirmwareImage(std::size_t size) {
  std::vector<std::uint8_t> image(size, 0);
  std::mt19937 random(0x4b5658);
  // A small vocabulary of 32-bit words, so the data compresses like code does.
  std::vector<std::uint32_t> words(64);
  for (auto& word : words) word = random();
  // Near misses of every marker, and ordinary texts whose words start like them.
  static constexpr std::string_view kStrings[] = {"Assertion failed at ",
                                                  "NV_VE",
                                                  "KVX",
                                                  " TV",
                                                  "No SIM",
                                                  "ATTACH REJECT ",
                                                  "Network lost ",
                                                  "A0712639",
                                                  "Kernel panic ",
                                                  " Timer expired",
                                                  "NORMAL_",
                                                  " TALO"};
  std::size_t pos = 0;
  while (pos + 4096 < size) {
    const unsigned kind = random() % 8;
    const std::size_t length = 256 + random() % 3840;
    if (kind < 5) {  // code
      for (std::size_t i = pos; i + 4 <= pos + length; i += 4) {
        const std::uint32_t word = words[random() % words.size()];
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&word), 4, image.begin() + i);
      }
    } else if (kind < 7) {  // string table
      for (std::size_t i = pos; i < pos + length;) {
        const std::string_view text = kStrings[random() % std::size(kStrings)];
        const std::size_t n = std::min(text.size(), pos + length - i);
        std::copy_n(text.begin(), n, image.begin() + i);
        i += n + 1;  // zero terminator
      }
    }  // else: zero fill
    pos += length;
  }
  Put(image, 85, "SFQAABCDEFG V2.0.1");
  Put(image, size - 4096, kImageTag);
  Put(image, size - 4096 + kImageTag.size(), std::string_view("TALO_TYPE_VMR_NORMAL_V3.1.7 ", 29));
  Put(image, size - 3000, std::string_view("KVX_2.1.0_ML_VM_20240611", 25));
  Put(image, size - 2000, std::string_view("NV_VER0102", 11));
  return image;
}

void BM_ParseLargestImage(benchmark::State& state) {
  const std::vector<std::uint8_t> image = MakeFirmwareImage(kLargestImage);
  QuietHost host;
  ImageVersions versions;
  for (auto _ : state) {
    const bool loaded = parse_image_versions(host, image.data(), image.size(), versions);
    benchmark::DoNotOptimize(loaded);
    if (!loaded) state.SkipWithError("the generated image was refused");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_ParseLargestImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvx

BENCHMARK_MAIN();
