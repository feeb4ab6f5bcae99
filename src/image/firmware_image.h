// The firmware image of an upgrade run: staging the operator's file when it is chosen, loading
// the KVX image into memory on every Start, and the part of it the download sends.
//
// The file is an archive (ZIP, conventionally .stf) holding a KVX_ image and images of the JQ
// product line, or a plain image (conventionally .bin); every file is first tried as an archive.
// JQ images belong to another product: they are only unpacked into a dated folder under the
// user's temporary directory, which this class creates owner-only and never follows links in.
//
// Ownership: embedded in the engine, which implements ImageHost; the host must outlive this
// object. The image buffers and the open file belong to this object and live from load_image to
// Release, which the engine's Disconnect calls. image() and send_start() point into them and
// are null whenever nothing is loaded.
//
// Threads: stage_jq_image runs on the front end's thread, only while the engine runs no upgrade
// (the front end disables Open during a run); everything else runs on the engine thread. There
// is no lock: the two never use this object at the same time.
//
// Re-entrancy: an extraction failure calls ImageHost::Disconnect, which calls Release and the
// engine's ResetState (so ResetState() here) from inside stage_jq_image or load_image; both
// are written to carry on safely afterwards. In load_image it also ends the load: the run has
// been ended and the operator told, so nothing of the archive is used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "image/image_host.h"
#include "image/image_versions.h"
#include "platform/files.h"

namespace kvx {

class ZipArchive;
struct ZipItemInfo;
enum class ZipResult;

class CFirmwareImage {
 public:
  // Largest image, archive item or plain file; exactly this size is accepted.
  static constexpr std::uint64_t kMaxImageSize = 0x3600000;
  // The folder under the user's temporary directory where JQ images are unpacked.
  static constexpr std::string_view kTempFolderName = "15a82b0b-4b06-40ce-a9be-46547918955f";

  explicit CFirmwareImage(ImageHost& host);
  ~CFirmwareImage();
  CFirmwareImage(const CFirmwareImage&) = delete;
  CFirmwareImage& operator=(const CFirmwareImage&) = delete;

  // Open: unpacks the JQ images of the chosen archive (the last one stays), or remembers a plain
  // file named JQ_*. True: the operator may go on; false: an operator message has been posted.
  bool stage_jq_image();

  // Start: puts the KVX image of the chosen file in memory and parses its version texts into
  // `versions`. False: operator messages have been posted and nothing is loaded.
  bool load_image(ImageVersions& versions);

  // Opens the chosen plain file and allocates a buffer of its size (not yet read). False: an
  // operator message has been posted.
  bool open_image_file();

  // Deletes a folder's files and subfolders, then the folder; never follows a symbolic link and
  // leaves alone a folder that is a link or belongs to another user. An empty path does
  // nothing. True when the folder is gone.
  static bool remove_folder(const std::string& path);

  // The engine's Disconnect: closes the file and frees both buffers; nothing stays loaded.
  void Release();
  // The image part of the engine's ResetState: the send window, the bootloader flag and the
  // staged-JQ flag.
  void ResetState();

  // The send window, which the boot rule may narrow. SendWholeImage sends from offset 0 with
  // the bootloader; SendFrom(offset) sends what follows `offset`, without the bootloader, and
  // returns false (changing nothing) when nothing would be left to send.
  void SendWholeImage();
  bool SendFrom(std::uint64_t offset);

  const std::uint8_t* image() const { return m_pImage; }
  std::uint64_t image_size() const { return m_nImageSize; }
  // The size of the image the last load read, kept after Release: what a Start reports before
  // it loads its own image.
  std::uint64_t last_loaded_size() const { return m_nLastImageSize; }
  const std::uint8_t* send_start() const { return m_pSendStart; }
  std::uint64_t send_size() const { return m_nSendSize; }
  std::int32_t segment_count() const { return m_nSegmentCount; }
  bool boot_included() const { return m_bBootIncluded; }
  bool in_memory() const { return m_bInMemory; }
  bool file_open() const { return m_bFileOpen; }
  bool image_owned() const { return m_bImageOwned; }
  bool zip_item_allocated() const { return m_bZipItemAlloc; }
  bool extracted() const { return m_bExtracted; }
  const std::string& extracted_path() const { return m_strExtractedPath; }
  const std::string& temp_dir() const { return m_strTempDir; }

 private:
  void Log(std::string_view text, COLORREF colour) const;
  void LogExtractionFailure(std::string_view item, std::string_view reason) const;
  bool FailLoad();
  void FreeZipItem();
  void SetSendWindow(std::uint64_t offset);

  // load_image's archive and plain-file paths.
  bool LoadFromArchive(ZipArchive& archive, ImageVersions& versions);
  bool ScanArchiveItems(ZipArchive& archive);
  bool LoadKvxItem(ZipArchive& archive, const ZipItemInfo& info);
  bool LoadFromPlainFile();

  // stage_jq_image's steps.
  bool StageFromArchive(ZipArchive& archive);
  bool StageJqItem(ZipArchive& archive, const ZipItemInfo& info);
  void StagePlainFile(const std::string& path);

  ImageHost& m_host;

  ScopedFd m_File;  // the plain image file, open while its image is in use
  bool m_bFileOpen = false;

  std::unique_ptr<std::uint8_t[]> m_pFileImage;  // owner of a plain file's image
  const std::uint8_t* m_pImage = nullptr;        // the whole image: m_pFileImage or m_pZipItem
  bool m_bImageOwned = false;                    // m_pImage is m_pFileImage

  std::unique_ptr<std::uint8_t[]> m_pZipItem;  // the KVX item unpacked from an archive
  std::uint64_t m_nZipItemLen = 0;
  bool m_bZipItemAlloc = false;

  bool m_bInMemory = false;  // the image came from an archive and is already in memory
  std::uint64_t m_nImageSize = 0;
  std::uint64_t m_nLastImageSize = 0;
  std::uint64_t m_nSendSize = 0;
  const std::uint8_t* m_pSendStart = nullptr;
  std::int32_t m_nSegmentCount = 0;
  bool m_bBootIncluded = false;

  std::string m_strTempDir;  // the JQ staging folder, with a trailing '/'
  bool m_bExtracted = false;
  std::string m_strExtractedPath;
};

}  // namespace kvx
