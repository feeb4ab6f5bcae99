#include "image/zip_archive.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "platform/files.h"

namespace kvx {
namespace {

// Raw bytes are read from the archive, and inflated, in pieces of this size.
constexpr unsigned kChunkSize = 256 * 1024;
// General-purpose flag bits of a ZIP item.
constexpr unsigned long kFlagEncrypted = 1u << 0;
constexpr unsigned long kFlagUtf8Name = 1u << 11;
constexpr int kMethodStored = 0;

// Unicode code points of code page 437's bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

void AppendUtf8(std::string& out, char16_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// Closes the item opened for reading on every way out of an extraction.
class OpenItem {
 public:
  explicit OpenItem(unzFile handle) : handle_(handle) {}
  ~OpenItem() { unzCloseCurrentFile(handle_); }
  OpenItem(const OpenItem&) = delete;
  OpenItem& operator=(const OpenItem&) = delete;

 private:
  unzFile handle_;
};

// Ends an inflate stream on every way out.
class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

// Hands `chunk` to the sink unless it would take the item past its declared size.
ZipResult Deliver(std::span<const std::uint8_t> chunk, std::uint64_t declared,
                  std::uint64_t& produced, uLong& crc, const ZipArchive::Sink& sink) {
  if (chunk.size() > declared - produced) return ZipResult::kSizeMismatch;
  produced += chunk.size();
  crc = crc32(crc, chunk.data(), static_cast<uInt>(chunk.size()));
  if (!chunk.empty() && !sink(chunk)) return ZipResult::kOutputRefused;
  return ZipResult::kOk;
}

ZipResult CheckTotals(const ZipItemInfo& info, std::uint64_t produced, uLong crc) {
  if (produced != info.uncompressed_size) return ZipResult::kSizeMismatch;
  if (crc != info.crc) return ZipResult::kCrcMismatch;
  return ZipResult::kOk;
}

// minizip's own opener is a plain fopen, which waits for ever on a FIFO; archives are opened
// here instead, without blocking, and only when they are regular files.
voidpf ZCALLBACK OpenArchiveFile(voidpf /*opaque*/, const void* filename, int mode) {
  if (filename == nullptr ||
      (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
    return nullptr;
  }
  std::error_code error;
  // minizip closes it with its fclose callback.
  return OpenRegularFileStream(static_cast<const char*>(filename), error).release();
}

// minizip refuses an archive with no items at all, which is nothing but its end record
// (22 bytes and an optional comment). Such a file is still an archive, not a plain image.
bool IsEmptyArchive(const std::string& path) {
  constexpr std::size_t kEndRecordSize = 22;
  std::error_code error;
  const StdioFile file = OpenRegularFileStream(path, error);
  if (!file) return false;
  std::array<unsigned char, kEndRecordSize> record{};
  const bool read = std::fread(record.data(), 1, record.size(), file.get()) == record.size();
  const bool seeked = std::fseek(file.get(), 0, SEEK_END) == 0;
  const long size = std::ftell(file.get());
  if (!read || !seeked || size < 0) return false;
  const auto field16 = [&record](std::size_t at) { return record[at] | (record[at + 1] << 8); };
  return record[0] == 'P' && record[1] == 'K' && record[2] == 5 && record[3] == 6 &&
         field16(8) == 0 && field16(10) == 0 &&
         static_cast<std::size_t>(size) == kEndRecordSize + static_cast<std::size_t>(field16(20));
}

}  // namespace

std::string_view ZipResultText(ZipResult result) {
  switch (result) {
    case ZipResult::kOk:
      return "ok";
    case ZipResult::kBadArchive:
      return "damaged archive";
    case ZipResult::kUnsupported:
      return "encrypted or unsupported compression";
    case ZipResult::kCorruptData:
      return "damaged compressed data";
    case ZipResult::kSizeMismatch:
      return "size differs from the declared size";
    case ZipResult::kCrcMismatch:
      return "CRC mismatch";
    case ZipResult::kOutputRefused:
      return "could not be written";
  }
  return "unknown error";
}

std::string Cp437ToUtf8(std::string_view name) {
  std::string out;
  out.reserve(name.size() * 2);
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(out, byte < 0x80 ? char16_t{byte} : kCp437High[byte - 0x80]);
  }
  return out;
}

std::unique_ptr<ZipArchive> ZipArchive::Open(const std::string& path) {
  zlib_filefunc64_def file_functions{};
  fill_fopen64_filefunc(&file_functions);
  file_functions.zopen64_file = &OpenArchiveFile;
  unzFile handle = unzOpen2_64(path.c_str(), &file_functions);
  if (handle == nullptr) {
    return IsEmptyArchive(path) ? std::make_unique<ZipArchive>(PassKey{}, nullptr, 0) : nullptr;
  }
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(handle, &global) != UNZ_OK) {
    unzClose(handle);
    return nullptr;
  }
  return std::make_unique<ZipArchive>(PassKey{}, handle, global.number_entry);
}

ZipArchive::ZipArchive(PassKey, void* handle, std::uint64_t item_count)
    : handle_(handle), item_count_(item_count) {}

ZipArchive::~ZipArchive() {
  if (handle_ != nullptr) unzClose(handle_);
}

ZipResult ZipArchive::First(bool& at_end) {
  // minizip reads a first entry even from an empty directory; the count says there is none.
  at_end = item_count_ == 0 || handle_ == nullptr;
  if (at_end) return ZipResult::kOk;
  return unzGoToFirstFile(handle_) == UNZ_OK ? ZipResult::kOk : ZipResult::kBadArchive;
}

ZipResult ZipArchive::Next(bool& at_end) {
  at_end = handle_ == nullptr;
  if (at_end) return ZipResult::kOk;
  const int result = unzGoToNextFile(handle_);
  if (result == UNZ_END_OF_LIST_OF_FILE) {
    at_end = true;
    return ZipResult::kOk;
  }
  return result == UNZ_OK ? ZipResult::kOk : ZipResult::kBadArchive;
}

ZipResult ZipArchive::CurrentInfo(ZipItemInfo& info) {
  unz_file_info64 file_info{};
  if (unzGetCurrentFileInfo64(handle_, &file_info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return ZipResult::kBadArchive;
  }
  // The name's length is a 16-bit field, so this buffer is bounded by the format.
  std::string raw_name(file_info.size_filename, '\0');
  if (!raw_name.empty() && unzGetCurrentFileInfo64(handle_, nullptr, raw_name.data(),
                                                   static_cast<uLong>(raw_name.size()), nullptr, 0,
                                                   nullptr, 0) != UNZ_OK) {
    return ZipResult::kBadArchive;
  }
  info.name = (file_info.flag & kFlagUtf8Name) != 0 ? raw_name : Cp437ToUtf8(raw_name);
  info.compressed_size = file_info.compressed_size;
  info.uncompressed_size = file_info.uncompressed_size;
  info.crc = static_cast<std::uint32_t>(file_info.crc);
  info.method = static_cast<int>(file_info.compression_method);
  info.encrypted = (file_info.flag & kFlagEncrypted) != 0;
  return ZipResult::kOk;
}

ZipResult ZipArchive::ExtractCurrent(const ZipItemInfo& info, std::span<std::uint8_t> buffer) {
  if (buffer.size() != info.uncompressed_size) return ZipResult::kSizeMismatch;
  std::size_t filled = 0;
  return ExtractCurrent(info, [&buffer, &filled](std::span<const std::uint8_t> chunk) {
    if (chunk.size() > buffer.size() - filled) return false;
    std::copy(chunk.begin(), chunk.end(), buffer.begin() + static_cast<std::ptrdiff_t>(filled));
    filled += chunk.size();
    return true;
  });
}

ZipResult ZipArchive::ExtractCurrent(const ZipItemInfo& info, const Sink& sink) {
  if (info.encrypted || (info.method != kMethodStored && info.method != Z_DEFLATED)) {
    return ZipResult::kUnsupported;
  }
  // Raw mode: minizip hands over the stored bytes, bounded by the compressed size, and this
  // class does the inflating, so the output is bounded and checked here.
  int method = 0;
  int level = 0;
  if (unzOpenCurrentFile2(handle_, &method, &level, 1) != UNZ_OK) return ZipResult::kBadArchive;
  OpenItem open_item(handle_);
  return method == kMethodStored ? CopyStored(info, sink) : Inflate(info, sink);
}

ZipResult ZipArchive::CopyStored(const ZipItemInfo& info, const Sink& sink) {
  std::vector<std::uint8_t> chunk(kChunkSize);
  std::uint64_t produced = 0;
  uLong crc = crc32(0, Z_NULL, 0);
  while (true) {
    const int got = unzReadCurrentFile(handle_, chunk.data(), kChunkSize);
    if (got < 0) return ZipResult::kBadArchive;
    if (got == 0) break;
    const auto result = Deliver(std::span(chunk.data(), static_cast<std::size_t>(got)),
                                info.uncompressed_size, produced, crc, sink);
    if (result != ZipResult::kOk) return result;
  }
  return CheckTotals(info, produced, crc);
}

ZipResult ZipArchive::Inflate(const ZipItemInfo& info, const Sink& sink) {
  Inflater inflater;
  if (!inflater.ok()) return ZipResult::kCorruptData;
  z_stream& stream = inflater.stream();
  std::vector<std::uint8_t> input(kChunkSize);
  std::vector<std::uint8_t> output(kChunkSize);
  std::uint64_t produced = 0;
  uLong crc = crc32(0, Z_NULL, 0);
  bool input_done = false;
  bool stream_end = false;
  while (!stream_end) {
    if (stream.avail_in == 0 && !input_done) {
      const int got = unzReadCurrentFile(handle_, input.data(), kChunkSize);
      if (got < 0) return ZipResult::kBadArchive;
      input_done = got == 0;
      stream.next_in = input.data();
      stream.avail_in = static_cast<uInt>(got);
    }
    stream.next_out = output.data();
    stream.avail_out = kChunkSize;
    const int status = inflate(&stream, Z_NO_FLUSH);
    const std::size_t have = kChunkSize - stream.avail_out;
    if (status == Z_STREAM_END) {
      stream_end = true;
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      return ZipResult::kCorruptData;
    } else if (input_done && have == 0) {
      return ZipResult::kCorruptData;  // the stream stops before its end
    }
    const auto result =
        Deliver(std::span(output.data(), have), info.uncompressed_size, produced, crc, sink);
    if (result != ZipResult::kOk) return result;
  }
  // Bytes after the end of the stream mean the declared compressed size is wrong.
  std::uint8_t extra = 0;
  if (stream.avail_in != 0 || unzReadCurrentFile(handle_, &extra, 1) != 0) {
    return ZipResult::kCorruptData;
  }
  return CheckTotals(info, produced, crc);
}

}  // namespace kvx
