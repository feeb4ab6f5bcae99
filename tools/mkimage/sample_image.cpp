#include "mkimage/sample_image.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/files.h"

namespace kvx {
namespace {

// xorshift64: small, fast and the same everywhere, so a seed always gives the same image.
class FillerRandom {
 public:
  explicit FillerRandom(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull | 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 11);
  }

 private:
  std::uint64_t state_;
};

// Filler is built from runs of "instructions" drawn, skewed towards the first, from a small
// vocabulary of words, with now and then a literal constant, padding or an ascending table.
// These proportions were tuned to deflate about 3:1 per 64 KiB segment.
constexpr std::size_t kVocabularySize = 64;
constexpr std::uint8_t kMarkerByte = 'V';  // every version marker holds it

class FillerWriter {
 public:
  FillerWriter(std::span<std::uint8_t> out, std::uint64_t seed) : out_(out), random_(seed) {
    for (auto& word : vocabulary_) word = random_.Next() ^ (random_.Next() << 21);
  }

  void Fill() {
    while (pos_ < out_.size()) {
      const std::uint32_t kind = random_.Next() % 32;
      if (kind < 28) {
        WriteInstructions(8 + random_.Next() % 56);
      } else if (kind < 30) {
        WritePadding(kind == 28 ? 0x00 : 0xFF, 16 + random_.Next() % 112);
      } else {
        WriteTable(32 + random_.Next() % 96);
      }
    }
    std::replace(out_.begin(), out_.end(), kMarkerByte, static_cast<std::uint8_t>(kMarkerByte + 1));
  }

 private:
  void Put(std::uint8_t byte) {
    if (pos_ < out_.size()) out_[pos_++] = byte;
  }
  void PutWord(std::uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) Put(static_cast<std::uint8_t>(word >> shift));
  }

  void WriteInstructions(std::uint32_t count) {
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::uint32_t pick = random_.Next();
      if ((pick & 31) == 0) {
        PutWord(random_.Next() & 0x0003FFFF);  // a literal constant
      } else {
        const std::size_t a = (pick >> 3) % kVocabularySize;
        const std::size_t b = (pick >> 12) % kVocabularySize;
        PutWord(vocabulary_[a * b / kVocabularySize]);
      }
    }
  }

  void WritePadding(std::uint8_t value, std::uint32_t count) {
    for (std::uint32_t k = 0; k < count; ++k) Put(value);
  }

  void WriteTable(std::uint32_t count) {
    const std::uint32_t base = random_.Next() & 0xFFFF;
    for (std::uint32_t k = 0; k < count; ++k) {
      const auto entry = static_cast<std::uint16_t>(base + k * 4);
      Put(static_cast<std::uint8_t>(entry));
      Put(static_cast<std::uint8_t>(entry >> 8));
    }
  }

  std::span<std::uint8_t> out_;
  std::size_t pos_ = 0;
  FillerRandom random_;
  std::array<std::uint32_t, kVocabularySize> vocabulary_{};
};

// The first three bytes of every version marker the image scan looks for. Raising the middle one
// by one ('V' to 'W', 'T' to 'U', '0' to '1') ends the match and starts no new one: none of
// the raised bytes begins a prefix or ends one.
constexpr std::array<std::string_view, 4> kMarkerPrefixes = {"KVX", " TV", "NV_", "A07"};

void BreakMarkerPrefixes(std::span<std::uint8_t> bytes) {
  for (std::size_t i = 0; i + 3 <= bytes.size(); ++i) {
    for (const std::string_view prefix : kMarkerPrefixes) {
      if (std::equal(prefix.begin(), prefix.end(),
                     bytes.begin() + static_cast<std::ptrdiff_t>(i))) {
        ++bytes[i + 1];
        break;
      }
    }
  }
}

// Writes `text` and a terminating zero at `offset`, cut off at the image's end.
std::size_t Place(std::vector<std::uint8_t>& image, std::size_t offset, std::string_view text,
                  const char* what) {
  if (offset >= image.size()) {
    throw std::invalid_argument(std::string(what) + " would begin past the end of the image");
  }
  const std::size_t room = image.size() - offset;
  const std::size_t count = std::min(text.size(), room);
  std::copy_n(text.begin(), count, image.begin() + static_cast<std::ptrdiff_t>(offset));
  if (count < room) image[offset + count] = 0;
  return offset + text.size() + 1;
}

// Default placements leave a little filler between texts, as a real image would.
std::size_t NextSlot(std::size_t end) {
  return (end + 0x40 + 0xF) & ~std::size_t{0xF};
}

class ZipWriter {
 public:
  explicit ZipWriter(const std::string& path) : path_(path) {
    handle_ = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  }
  ~ZipWriter() {
    if (handle_ != nullptr) {
      zipClose(handle_, nullptr);
      std::remove(path_.c_str());  // only reached when Close was not: a half-written archive
    }
  }
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  bool ok() const { return handle_ != nullptr; }
  zipFile handle() const { return handle_; }
  bool Close() {
    const int result = zipClose(handle_, nullptr);
    handle_ = nullptr;
    return result == ZIP_OK;
  }

 private:
  std::string path_;
  zipFile handle_ = nullptr;
};

zip_fileinfo FixedItemDate(bool folder) {
  zip_fileinfo info{};
  info.tmz_date.tm_year = 2024;
  info.tmz_date.tm_mon = 0;
  info.tmz_date.tm_mday = 1;
  info.tmz_date.tm_hour = 12;
  info.external_fa = folder ? 0x10 : 0x20;  // MS-DOS folder or archive attribute
  return info;
}

bool OpenItem(zipFile zip, const SampleArchiveItem& item, int method, int level, bool raw) {
  const zip_fileinfo info = FixedItemDate(item.folder);
  const uLong flags = item.utf8_name ? (1u << 11) : 0;
  const bool zip64 =
      item.data.size() >= 0xFFFFFFFFu || item.declared_size.value_or(0) >= 0xFFFFFFFFu;
  return zipOpenNewFileInZip4_64(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 method, level, raw ? 1 : 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                 Z_DEFAULT_STRATEGY, nullptr, 0, 0, flags, zip64 ? 1 : 0) == ZIP_OK;
}

bool WriteData(zipFile zip, std::span<const std::uint8_t> data) {
  constexpr std::size_t kPiece = 1 << 20;
  for (std::size_t done = 0; done < data.size(); done += kPiece) {
    const auto piece = static_cast<unsigned>(std::min(kPiece, data.size() - done));
    if (zipWriteInFileInZip(zip, data.data() + done, piece) != ZIP_OK) return false;
  }
  return true;
}

// Raw deflate (no zlib header), as a ZIP item holds it.
std::vector<std::uint8_t> DeflateRaw(std::span<const std::uint8_t> data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

bool WriteItem(zipFile zip, const SampleArchiveItem& item) {
  if (item.folder) {
    return OpenItem(zip, item, 0, 0, false) && zipCloseFileInZip(zip) == ZIP_OK;
  }
  const int method = item.stored ? 0 : Z_DEFLATED;
  if (!item.declared_size && !item.declared_crc) {
    const int level = item.stored ? 0 : Z_DEFAULT_COMPRESSION;
    return OpenItem(zip, item, method, level, false) && WriteData(zip, item.data) &&
           zipCloseFileInZip(zip) == ZIP_OK;
  }
  // Written raw, so the directory carries the declared size and CRC, not the true ones.
  const std::vector<std::uint8_t> payload = item.stored ? item.data : DeflateRaw(item.data);
  const auto true_crc = static_cast<std::uint32_t>(
      crc32(crc32(0, Z_NULL, 0), item.data.data(), static_cast<uInt>(item.data.size())));
  return OpenItem(zip, item, method, Z_DEFAULT_COMPRESSION, true) && WriteData(zip, payload) &&
         zipCloseFileInZipRaw64(zip, item.declared_size.value_or(item.data.size()),
                                item.declared_crc.value_or(true_crc)) == ZIP_OK;
}

}  // namespace

void FillFirmwareLike(std::span<std::uint8_t> out, std::uint64_t seed) {
  FillerWriter(out, seed).Fill();
}

void FillFromPayload(std::span<std::uint8_t> out, std::span<const std::uint8_t> payload) {
  if (payload.empty()) throw std::invalid_argument("the payload is empty");
  for (std::size_t done = 0; done < out.size(); done += payload.size()) {
    const std::size_t count = std::min(payload.size(), out.size() - done);
    std::copy_n(payload.begin(), count, out.begin() + static_cast<std::ptrdiff_t>(done));
  }
  BreakMarkerPrefixes(out);
}

bool ReadPayloadFile(const std::string& path, std::size_t max_size,
                     std::vector<std::uint8_t>& payload, std::string& error) {
  payload.clear();
  std::error_code failure;
  const RegularFile file = OpenRegularFile(path, failure);
  if (!failure) {
    payload.resize(static_cast<std::size_t>(std::min<std::uint64_t>(file.size, max_size)));
    failure = ReadFileRange(file.fd.get(), 0, payload);
  }
  if (failure) {
    payload.clear();
    error = "cannot read " + path + ": " + failure.message();
    return false;
  }
  if (payload.empty()) {
    error = path + " is empty";
    return false;
  }
  return true;
}

std::vector<std::uint8_t> MakeSampleImage(const SampleImageSpec& spec) {
  std::vector<std::uint8_t> image(spec.size);
  if (spec.payload.empty()) {
    FillFirmwareLike(image, spec.seed);
  } else {
    FillFromPayload(image, spec.payload);
  }

  std::size_t slot = 0x200;
  if (spec.boot) {
    slot = std::max(slot, NextSlot(Place(image, kSampleBootTextOffset, *spec.boot, "boot text")));
  }
  if (spec.size > kSampleBootRegionSize + 0x1000) slot = kSampleBootRegionSize + 0x100;

  if (spec.stack) {
    std::string tagged(kSampleImageTag);
    tagged += *spec.stack;
    slot = NextSlot(Place(image, spec.tag_offset.value_or(slot), tagged, "image tag"));
  }
  if (spec.mmi)
    slot = NextSlot(Place(image, spec.mmi_offset.value_or(slot), *spec.mmi, "MMI text"));
  if (spec.nv) {
    Place(image, spec.nv_offset.value_or(slot), "NV_VER" + *spec.nv, "NV text");
  }
  return image;
}

bool WriteSampleArchive(const std::string& path, std::span<const SampleArchiveItem> items,
                        std::string& error) {
  ZipWriter writer(path);
  if (!writer.ok()) {
    error = "cannot create " + path;
    return false;
  }
  for (const auto& item : items) {
    if (!WriteItem(writer.handle(), item)) {
      error = "cannot write item " + item.name + " to " + path;
      return false;
    }
  }
  if (!writer.Close()) {
    error = "cannot finish " + path;
    std::remove(path.c_str());
    return false;
  }
  return true;
}

bool WriteSampleFile(const std::string& path, std::span<const std::uint8_t> data,
                     std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                       &std::fclose);
  if (!file) {
    error = "cannot create " + path;
    return false;
  }
  const bool written = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
  if (!written || std::fclose(file.release()) != 0) {
    error = "cannot write " + path;
    std::remove(path.c_str());
    return false;
  }
  return true;
}

}  // namespace kvx
