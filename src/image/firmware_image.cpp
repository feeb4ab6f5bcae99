#include "image/firmware_image.h"

#include <cstdio>
#include <new>
#include <span>

#include "image/zip_archive.h"
#include "platform/local_time.h"
#include "platform/string_table.h"
#include "protocol/frame_format.h"

namespace kvx {
namespace {

constexpr std::string_view kJqPrefix = "JQ_";
constexpr std::string_view kKvxPrefix = "KVX_";

// A folder entry, or an empty file: both sizes are 0 and there is nothing to unpack.
bool IsFolderItem(const ZipItemInfo& info) {
  return info.compressed_size == 0 && info.uncompressed_size == 0;
}

// "KVX_" followed by a decimal digit.
bool IsKvxItemName(std::string_view name) {
  return name.starts_with(kKvxPrefix) && name.size() > kKvxPrefix.size() &&
         name[kKvxPrefix.size()] >= '0' && name[kKvxPrefix.size()] <= '9';
}

// The dated subfolder of one staging, in local time: YYYYMMDD_hhmmss.
std::string DatedFolderName() {
  const LocalTime t = LocalTimeNow();
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string StagingRoot() {
  std::string root = TempDirectory();
  if (root.back() != '/') root += '/';
  root += CFirmwareImage::kTempFolderName;
  root += '/';
  return root;
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CFirmwareImage::CFirmwareImage(ImageHost& host) : m_host(host) {}

CFirmwareImage::~CFirmwareImage() = default;

void CFirmwareImage::Log(std::string_view text, COLORREF colour) const {
  m_host.WriteLog(text, colour, LOG_TEXT);
}

void CFirmwareImage::LogExtractionFailure(std::string_view item, std::string_view reason) const {
  std::string line = "Extraction of ";
  line += item;
  line += " failed: ";
  line += reason;
  line += '\n';
  Log(line, kTraceRed);
}

// ---------------------------------------------------------------------------------------------
// Open

bool CFirmwareImage::stage_jq_image() {
  FreeZipItem();
  Log("Open Btn press\n", kTraceRed);
  const std::string path = m_host.FilePath();
  const auto archive = ZipArchive::Open(path);
  m_bInMemory = false;
  if (!archive) {
    StagePlainFile(path);
    return true;
  }
  return StageFromArchive(*archive);
}

void CFirmwareImage::StagePlainFile(const std::string& path) {
  if (!FileNameOf(path).starts_with(kJqPrefix)) return;
  m_bExtracted = true;
  m_strExtractedPath = path;
  Log("old binary path = " + path, kTraceBlack);
}

bool CFirmwareImage::StageFromArchive(ZipArchive& archive) {
  const bool single_item = archive.ItemCount() == 1;
  bool at_end = false;
  for (ZipResult step = archive.First(at_end); !at_end; step = archive.Next(at_end)) {
    ZipItemInfo info;
    if (step == ZipResult::kOk) step = archive.CurrentInfo(info);
    if (step != ZipResult::kOk) {
      // A damaged directory: nothing after this point can be listed.
      LogExtractionFailure("the archive directory", ZipResultText(step));
      m_host.Disconnect(IDS_EXTRACT_FAIL);
      m_bExtracted = false;
      return false;
    }
    if (IsFolderItem(info)) continue;
    if (info.uncompressed_size > kMaxImageSize) {
      Log("IDS_FILE_SIZE_BIG occur\n", kTraceRed);
      m_host.PostOperatorMessage(IDS_FILE_SIZE_BIG);
      return false;
    }
    if (!info.name.starts_with(kJqPrefix)) continue;
    if (StageJqItem(archive, info)) {
      m_bExtracted = true;
      if (single_item) return true;
    } else {
      m_host.Disconnect(IDS_EXTRACT_FAIL);
      m_bExtracted = false;
      if (single_item) return false;
    }
  }
  return true;
}

bool CFirmwareImage::StageJqItem(ZipArchive& archive, const ZipItemInfo& info) {
  // Checked before anything is touched: a name that leaves the folder writes nowhere.
  if (!IsSafeRelativePath(info.name)) {
    LogExtractionFailure(info.name, "unsafe item name");
    return false;
  }
  // Each staging empties the folder, so only the last JQ image stays unpacked.
  m_strTempDir = StagingRoot();
  remove_folder(m_strTempDir);
  std::error_code error;
  const ScopedFd root = CreateOwnFolder(m_strTempDir, error);
  if (error) {
    LogExtractionFailure(info.name, m_strTempDir + ": " + error.message());
    return false;
  }
  const std::string dated = DatedFolderName();
  RemoveFolderTreeAt(root.get(), dated);
  const ScopedFd dated_folder = CreateOwnFolderAt(root.get(), dated, error);
  if (error) {
    LogExtractionFailure(info.name, dated + ": " + error.message());
    return false;
  }
  m_strExtractedPath = m_strTempDir + dated + '/' + info.name;

  ScopedFd file = CreateFileBelow(dated_folder.get(), info.name, error);
  if (error) {
    LogExtractionFailure(info.name, error.message());
    return false;
  }
  const ZipResult result = archive.ExtractCurrent(
      info, [&file](std::span<const std::uint8_t> chunk) { return !WriteAll(file.get(), chunk); });
  // close() is where some file systems report a failed write.
  const bool closed = !CloseFile(file);
  if (result != ZipResult::kOk || !closed) {
    // A half-written image must not be left where it could be taken for a whole one.
    RemoveFileAt(dated_folder.get(), info.name);
    LogExtractionFailure(info.name, result != ZipResult::kOk
                                        ? ZipResultText(result)
                                        : ZipResultText(ZipResult::kOutputRefused));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Start

bool CFirmwareImage::load_image(ImageVersions& versions) {
  // Every Start reads the file afresh; nothing of an earlier load is kept, not even the version
  // records of a load that failed.
  Release();
  versions.ResetRecords();
  Log("Open Btn press\n", kTraceRed);
  const auto archive = ZipArchive::Open(m_host.FilePath());
  m_bInMemory = false;
  if (archive) return LoadFromArchive(*archive, versions);
  if (!LoadFromPlainFile()) return FailLoad();
  if (!parse_image_versions(m_host, m_pImage, m_nImageSize, versions)) return FailLoad();
  return true;
}

bool CFirmwareImage::LoadFromArchive(ZipArchive& archive, ImageVersions& versions) {
  if (!ScanArchiveItems(archive)) {
    Release();
    return false;
  }
  // No KVX item, or none that unpacked: there is no image to check.
  if (!m_bInMemory) return FailLoad();
  if (!check_zipped_image(m_host, m_pZipItem.get(), m_nZipItemLen, versions)) return FailLoad();
  m_pImage = m_pZipItem.get();
  m_nImageSize = m_nLastImageSize = m_nZipItemLen;
  SetSendWindow(0);
  if (!parse_image_versions(m_host, m_pImage, m_nImageSize, versions)) return FailLoad();
  return true;
}

bool CFirmwareImage::ScanArchiveItems(ZipArchive& archive) {
  bool at_end = false;
  for (ZipResult step = archive.First(at_end); !at_end; step = archive.Next(at_end)) {
    ZipItemInfo info;
    if (step == ZipResult::kOk) step = archive.CurrentInfo(info);
    if (step != ZipResult::kOk) {
      // A damaged directory: what was unpacked before it is not trusted either.
      FreeZipItem();
      LogExtractionFailure("the archive directory", ZipResultText(step));
      m_host.Disconnect(IDS_EXTRACT_FAIL);
      return false;
    }
    if (IsFolderItem(info)) continue;
    if (info.uncompressed_size > kMaxImageSize) {
      Log("IDS_FILE_SIZE_BIG occur\n", kTraceRed);
      m_host.PostOperatorMessage(IDS_FILE_SIZE_BIG);
      return false;
    }
    if (info.name.starts_with(kJqPrefix)) continue;
    if (!IsKvxItemName(info.name)) {
      Log("The name of binary file is not started with KVX_.\n", kTraceRed);
      m_host.PostOperatorMessage(IDS_NOT_KVX_ITEM);
      return false;
    }
    // Of several KVX items the last one is the image. A damaged one ends the load: Disconnect
    // has ended the run with its message, so a later item must not start it again.
    if (!LoadKvxItem(archive, info)) return false;
  }
  return true;
}

// False when the item failed to unpack and the run has been ended.
bool CFirmwareImage::LoadKvxItem(ZipArchive& archive, const ZipItemInfo& info) {
  const auto size = static_cast<std::size_t>(info.uncompressed_size);
  std::unique_ptr<std::uint8_t[]> buffer;
  try {
    buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  } catch (const std::bad_alloc&) {
    return true;  // the item is skipped
  }
  const ZipResult result = archive.ExtractCurrent(info, std::span(buffer.get(), size));
  if (result != ZipResult::kOk) {
    FreeZipItem();
    LogExtractionFailure(info.name, ZipResultText(result));
    m_host.Disconnect(IDS_EXTRACT_FAIL);
    return false;
  }
  FreeZipItem();
  m_pZipItem = std::move(buffer);
  m_nZipItemLen = info.uncompressed_size;
  m_bZipItemAlloc = true;
  m_bInMemory = true;
  return true;
}

bool CFirmwareImage::LoadFromPlainFile() {
  if (!open_image_file()) return false;
  // A file that changes size while it is read is refused rather than half-read.
  if (ReadFileExactly(m_File.get(), std::span(m_pFileImage.get(), m_nImageSize))) {
    Log("WM_USER_BTN_CTRL BTN_ENABLE IDS_FILE_OPEN_FAIL occur\n", kTraceRed);
    m_host.PostOperatorMessage(IDS_FILE_OPEN_FAIL);
    return false;
  }
  return true;
}

bool CFirmwareImage::open_image_file() {
  if (m_bFileOpen) {
    m_File.reset();
    m_bFileOpen = false;
    if (m_bImageOwned) {
      m_pFileImage.reset();
      m_bImageOwned = false;
      m_pImage = nullptr;
      m_pSendStart = nullptr;
    }
  }
  // Only regular files are images; a FIFO must not hang the engine.
  std::error_code error;
  RegularFile file = OpenRegularFile(m_host.FilePath(), error);
  if (error) {
    Log("WM_USER_BTN_CTRL BTN_ENABLE IDS_FILE_OPEN_FAIL occur\n", kTraceRed);
    m_host.PostOperatorMessage(IDS_FILE_OPEN_FAIL);
    return false;
  }
  const std::uint64_t size = file.size;
  m_nLastImageSize = size;
  if (size > kMaxImageSize) {
    Log("WM_USER_BTN_CTRL BTN_ENABLE IDS_FILE_SIZE_BIG occur\n", kTraceRed);
    m_host.PostOperatorMessage(IDS_FILE_SIZE_BIG);
    return false;
  }
  std::unique_ptr<std::uint8_t[]> buffer;
  try {
    buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    Log("WM_USER_BTN_CTRL BTN_ENABLE IDS_MEM_ALLOC_FAIL occur\n", kTraceRed);
    m_host.PostOperatorMessage(IDS_MEM_ALLOC_FAIL);
    return false;
  }
  m_File = std::move(file.fd);
  m_bFileOpen = true;
  m_pFileImage = std::move(buffer);
  m_bImageOwned = true;
  m_pImage = m_pFileImage.get();
  m_nImageSize = size;
  SetSendWindow(0);
  return true;
}

bool CFirmwareImage::FailLoad() {
  Release();
  Log("WM_USER_BTN_CTRLoccur\n", kTraceRed);
  m_host.PostOperatorMessage(IDS_INCOMPATIBLE_BINARY);
  return false;
}

// ---------------------------------------------------------------------------------------------
// Lifetime and the send window

bool CFirmwareImage::remove_folder(const std::string& path) {
  return !RemoveFolderTree(path);
}

void CFirmwareImage::FreeZipItem() {
  if (m_pZipItem && m_pImage == m_pZipItem.get()) {
    m_pImage = nullptr;
    m_nImageSize = 0;
    m_pSendStart = nullptr;
    m_nSendSize = 0;
    m_nSegmentCount = 0;
  }
  m_pZipItem.reset();
  m_nZipItemLen = 0;
  m_bZipItemAlloc = false;
  m_bInMemory = false;
}

void CFirmwareImage::Release() {
  m_File.reset();
  m_bFileOpen = false;
  m_pFileImage.reset();
  m_bImageOwned = false;
  FreeZipItem();
  m_pImage = nullptr;
  m_nImageSize = 0;
  m_pSendStart = nullptr;
  m_nSendSize = 0;
  m_nSegmentCount = 0;
}

void CFirmwareImage::ResetState() {
  m_pSendStart = nullptr;
  m_nSendSize = 0;
  m_nSegmentCount = 0;
  m_bBootIncluded = false;
  m_bExtracted = false;
}

void CFirmwareImage::SetSendWindow(std::uint64_t offset) {
  m_pSendStart = m_pImage + offset;
  m_nSendSize = m_nImageSize - offset;
  m_nSegmentCount = segment_count_for(m_nSendSize);
}

void CFirmwareImage::SendWholeImage() {
  SetSendWindow(0);
  m_bBootIncluded = true;
}

bool CFirmwareImage::SendFrom(std::uint64_t offset) {
  if (m_pImage == nullptr || offset >= m_nImageSize) return false;
  SetSendWindow(offset);
  m_bBootIncluded = false;
  return true;
}

}  // namespace kvx
