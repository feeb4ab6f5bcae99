// kvx-mkimage: writes sample KVX-01 firmware images (.bin) and archives (.stf).

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "mkimage/sample_image.h"

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage = R"(Usage:
  kvx-mkimage image OUTPUT [image options]
  kvx-mkimage archive OUTPUT [image options] [archive options] ITEM...

Writes sample Velmora KVX-01 firmware for tests and demonstrations.

  image     writes a plain image (conventionally .bin)
  archive   writes a ZIP archive (conventionally .stf); each ITEM is one of
              NAME        a sample image made from the image options, stored as NAME
              NAME=FILE   the bytes of FILE, stored as NAME
              NAME/       a folder entry
            The upgrader loads the item named KVX_<digit>... and unpacks JQ_... items.

An image is filler that deflates about 3:1, like firmware code (or the bytes of
a file given with --payload-from), holding the boot text at offset 85, the image tag A0712639-C1F7-43ad-887E-42BA1473A4BB followed by
the stack text, an MMI text, and "NV_VER" followed by the NV version. Each text
ends with a zero byte. By default the tag and the texts follow one another just
after the 256 KiB boot region.

Image options:
  --size BYTES    image size (default 1M); decimal, 0x hex, or with K or M (KiB, MiB)
  --boot TEXT     boot version text (default "SFQAABCDEFG V2.0.1")
  --stack TEXT    stack version text after the tag (default "TALO_TYPE_VMR_NORMAL_V3.1.7")
  --mmi TEXT      MMI version text (default "KVX_2.10.3_ML_VM")
  --nv TEXT       NV version, four characters (default "1.02")
  --no-boot, --no-tag, --no-mmi, --no-nv
                  leave that text (for --no-tag: the tag and the stack text) out
  --tag-at OFFSET, --mmi-at OFFSET, --nv-at OFFSET
                  where the tag, the MMI text or the NV text begins; a text that
                  reaches past the end of the image is cut off there
  --seed N        seed of the filler bytes (default 1)
  --payload-from FILE
                  fill the image with the bytes of FILE instead of filler (real
                  machine code, say a shared library), repeated or cut off at the
                  image size; at most that many bytes of FILE are read. Where the
                  bytes hold the start of a version marker, one byte of it is
                  changed, so only the texts written here are found

Archive options:
  --stored        store items uncompressed (default: deflate)
  --utf8-names    mark item names as UTF-8 (default: code page 437)

  -h, --help      show this text

Exit status: 0 written, 1 could not read a file or write, 2 bad arguments.
)";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::size_t ParseSize(std::string_view text) {
  std::string digits(text);
  std::size_t multiplier = 1;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) multiplier = 1024;
  if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) multiplier = 1 << 20;
  if (multiplier != 1) digits.pop_back();
  if (digits.empty() || digits.front() == '-') throw UsageError("not a size: " + std::string(text));
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > (1ull << 30) / multiplier) {
    throw UsageError("not a size: " + std::string(text));
  }
  return static_cast<std::size_t>(value * multiplier);
}

struct Options {
  std::string command;
  std::string output;
  kvx::SampleImageSpec image;
  std::string payload_path;  // empty: filler
  bool stored = false;
  bool utf8_names = false;
  std::vector<std::string> items;
};

Options ParseArguments(int argc, char** argv) {
  Options options;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (arg == "--size") {
      options.image.size = ParseSize(value());
    } else if (arg == "--boot") {
      options.image.boot = value();
    } else if (arg == "--stack") {
      options.image.stack = value();
    } else if (arg == "--mmi") {
      options.image.mmi = value();
    } else if (arg == "--nv") {
      options.image.nv = value();
    } else if (arg == "--no-boot") {
      options.image.boot.reset();
    } else if (arg == "--no-tag") {
      options.image.stack.reset();
    } else if (arg == "--no-mmi") {
      options.image.mmi.reset();
    } else if (arg == "--no-nv") {
      options.image.nv.reset();
    } else if (arg == "--tag-at") {
      options.image.tag_offset = ParseSize(value());
    } else if (arg == "--mmi-at") {
      options.image.mmi_offset = ParseSize(value());
    } else if (arg == "--nv-at") {
      options.image.nv_offset = ParseSize(value());
    } else if (arg == "--seed") {
      options.image.seed = ParseSize(value());
    } else if (arg == "--payload-from") {
      options.payload_path = value();
    } else if (arg == "--stored") {
      options.stored = true;
    } else if (arg == "--utf8-names") {
      options.utf8_names = true;
    } else if (arg.starts_with("-") && arg.size() > 1) {
      throw UsageError("unknown option " + std::string(arg));
    } else {
      positional.emplace_back(arg);
    }
  }
  if (positional.size() < 2) throw UsageError("a command and an output file are needed");
  options.command = positional[0];
  options.output = positional[1];
  options.items.assign(positional.begin() + 2, positional.end());
  if (options.command == "image" && !options.items.empty()) {
    throw UsageError("image takes no items");
  }
  if (options.command == "archive" && options.items.empty()) {
    throw UsageError("archive needs at least one item");
  }
  if (options.command != "image" && options.command != "archive") {
    throw UsageError("unknown command " + options.command);
  }
  return options;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

kvx::SampleArchiveItem MakeItem(const std::string& spec, const Options& options) {
  kvx::SampleArchiveItem item;
  item.stored = options.stored;
  item.utf8_name = options.utf8_names;
  const auto equals = spec.find('=');
  if (equals != std::string::npos) {
    item.name = spec.substr(0, equals);
    item.data = ReadFile(spec.substr(equals + 1));
  } else if (!spec.empty() && spec.back() == '/') {
    item.name = spec;
    item.folder = true;
  } else {
    item.name = spec;
    item.data = kvx::MakeSampleImage(options.image);
  }
  if (item.name.empty()) throw UsageError("an item needs a name: " + spec);
  return item;
}

// Reads the payload into the image options; an image never uses more of it than its size.
bool LoadPayload(Options& options, std::string& error) {
  if (options.payload_path.empty()) return true;
  return kvx::ReadPayloadFile(options.payload_path, options.image.size, options.image.payload,
                              error);
}

int Run(Options options) {
  std::string error;
  bool written = false;
  if (!LoadPayload(options, error)) {
    std::fprintf(stderr, "kvx-mkimage: %s\n", error.c_str());
    return kExitWriteFailed;
  }
  if (options.command == "image") {
    written = kvx::WriteSampleFile(options.output, kvx::MakeSampleImage(options.image), error);
  } else {
    std::vector<kvx::SampleArchiveItem> items;
    for (const auto& spec : options.items) items.push_back(MakeItem(spec, options));
    written = kvx::WriteSampleArchive(options.output, items, error);
  }
  if (!written) {
    std::fprintf(stderr, "kvx-mkimage: %s\n", error.c_str());
    return kExitWriteFailed;
  }
  return kExitWritten;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitWritten;
    }
  }
  try {
    return Run(ParseArguments(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "kvx-mkimage: %s\n\n%s", e.what(), kUsage);
    return kExitUsage;
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "kvx-mkimage: %s\n", e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvx-mkimage: %s\n", e.what());
    return kExitWriteFailed;
  }
}
